// Tells the test where each button of step 4 is ("button <text>@x,y"), and each note and firewall line shown.
(() => {
  const report = (t) => console.log("QTEST " + t), placed = {}, said = {};
  setInterval(() => {
    document.querySelectorAll("#send button").forEach((button) => {
      const r = button.getBoundingClientRect(), text = button.textContent;
      const at = button.offsetParent ? Math.round(r.left + r.width / 2) + "," + Math.round(r.top + r.height / 2) : "";
      if (at && placed[text] !== at) report("button " + text + "@" + (placed[text] = at));
    });
    [["route-note", "note "], ["firewall-text", "firewall "]].forEach(([id, label]) => {
      const shown = document.getElementById(id).textContent;
      if (shown && shown !== said[id]) report(label + shown);
      said[id] = shown;
    });
  }, 100);
})();
