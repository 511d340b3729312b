// Tells the test where each button of step 4 is ("button <text>@x,y"), and each note the page gives.
(function () {
  function report(t) { console.log("QTEST " + t); }
  var seen = {};
  var note = "";
  setInterval(function () {
    document.querySelectorAll("#send button").forEach(function (button) {
      var r = button.getBoundingClientRect();
      var at = button.offsetParent ? Math.round(r.left + r.width / 2) + "," + Math.round(r.top + r.height / 2) : "";
      var text = button.textContent;
      if (!at || seen[text] === at) return;
      report("button " + text + "@" + at);
      seen[text] = at;
    });
    var shown = document.getElementById("route-note").textContent;
    if (shown && shown !== note) report("note " + shown);
    note = shown;
  }, 100);
})();
