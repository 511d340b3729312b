// What the roads read off the start page: the focus; the part's fields and limit note with each "part" state;
// the times of "Your clips" once the code is up; the page's size and the waveform's shown and drawn widths.
(() => {
  const state = Quillon.state, $ = (id) => document.getElementById(id), report = (t) => console.log("QTEST " + t);
  const fields = ["part-start", "part-end", "part-length", "part-fade-in", "part-fade-out", "part-limit"];
  Quillon.state = (text) => {
    state(text);
    if (text.startsWith("part ")) report("fields " + fields.map((id) => $(id).value ?? $(id).textContent).join(" "));
    if (text === "wifi-qr") report("clips " + [...document.querySelectorAll("#clips b")].map((b) => b.textContent).join("|"));
  };
  // An element by its id, else by the text a screen reader reads.
  const name = (e) => e.id ||
    [...e.childNodes].filter((n) => !n.getAttribute?.("aria-hidden")).map((n) => n.textContent).join("").trim();
  document.addEventListener("focusin", (e) => report("focus " + name(e.target)));
  let size = "";
  setInterval(() => {
    const now = [innerWidth, innerHeight, Math.round($("wave").getBoundingClientRect().width), $("wave").width].join(" ");
    if (now !== size) report("size " + (size = now));
  }, 100);
})();
