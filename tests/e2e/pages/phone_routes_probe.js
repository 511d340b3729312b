// Tells the test where each button of step 4 is ("button <text>@x,y"), and each note and firewall line shown.
(function () {
  function report(t) { console.log("QTEST " + t); }
  var seen = {};
  var said = ["", ""];
  setInterval(function () {
    document.querySelectorAll("#send button").forEach(function (button) {
      var r = button.getBoundingClientRect();
      var at = button.offsetParent ? Math.round(r.left + r.width / 2) + "," + Math.round(r.top + r.height / 2) : "";
      var text = button.textContent;
      if (!at || seen[text] === at) return;
      report("button " + text + "@" + at);
      seen[text] = at;
    });
    ["route-note", "firewall-text"].forEach(function (id, i) {
      var shown = document.getElementById(id).textContent;
      if (shown && shown !== said[i]) report(["note ", "firewall "][i] + shown);
      said[i] = shown;
    });
  }, 100);
})();
