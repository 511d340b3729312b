// Runs axe on each page's load and first drawing of each state kind: "axe <title>/<kind> <count> <rules>".
(() => {
  const seen = new Set(), state = Quillon.state;
  let queue = Promise.resolve();
  const check = (text) => {
    const kind = document.title + "/" + text.split(" ")[0];
    if (seen.has(kind)) return;
    seen.add(kind);
    queue = queue.then(() => new Promise((go) => requestAnimationFrame(() => go())))
      .then(() => axe.run(document, { resultTypes: ["violations"] }))
      .then((result) => console.log("QTEST axe " + kind + " " + result.violations.length + " " +
        result.violations.map((v) => v.id + "@" + v.nodes.map((n) => n.target.join(" ")).join("|")).join("; ")));
  };
  Quillon.state = (text) => { state(text); check(text); };
  window.addEventListener("load", () => check("load"));
})();
