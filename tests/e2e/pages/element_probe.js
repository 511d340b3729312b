// Reports "at <name> <x> <y>", the centre of each element whenever it moves: the elements of this script's
// data-ids by id, and those of its data-buttons selector by their text.
(() => {
  const { ids = "", buttons } = document.currentScript.dataset, probed = {};
  const elements = () => ids.split(" ").filter(Boolean).map((id) => [id, document.getElementById(id)])
    .concat(buttons ? [...document.querySelectorAll(buttons)].map((b) => [b.textContent, b]) : []);
  setInterval(() => elements().forEach(([name, e]) => {
    const r = e && e.getBoundingClientRect();
    const at = e && e.offsetParent ? Math.round(r.left + r.width / 2) + " " + Math.round(r.top + r.height / 2) : "";
    if (at && probed[name] !== at) console.log("QTEST at " + name + " " + at);
    probed[name] = at;
  }), 100);
})();
