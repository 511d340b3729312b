// Reports "at <id> <x> <y>", the centre of each element named in this script's data-ids, whenever it moves.
(() => {
  const ids = document.currentScript.dataset.ids.split(" "), probed = {};
  setInterval(() => ids.forEach((id) => {
    const e = document.getElementById(id), r = e && e.getBoundingClientRect();
    const at = e && e.offsetParent ? Math.round(r.left + r.width / 2) + " " + Math.round(r.top + r.height / 2) : "";
    if (at && probed[id] !== at) console.log("QTEST at " + id + " " + at);
    probed[id] = at;
  }), 100);
})();
