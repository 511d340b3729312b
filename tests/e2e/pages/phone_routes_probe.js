// Tells the test each note and firewall line step 4 shows.
(() => {
  const said = {};
  setInterval(() => [["route-note", "note "], ["firewall-text", "firewall "]].forEach(([id, label]) => {
    const shown = document.getElementById(id).textContent;
    if (shown && shown !== said[id]) console.log("QTEST " + label + shown);
    said[id] = shown;
  }), 100);
})();
