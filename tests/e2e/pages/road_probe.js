// What the roads read off the start page: the focus; the part's fields with each "part" state; the times of
// "Your clips" once the code is up; the page's size with the waveform's shown and drawn widths when they change.
(() => {
  const state = Quillon.state, $ = (id) => document.getElementById(id);
  const report = (text) => console.log("QTEST " + text);
  const fields = ["part-start", "part-end", "part-length", "part-fade-in", "part-fade-out"];
  Quillon.state = (text) => {
    state(text);
    if (text.startsWith("part ")) report("fields " + fields.map((id) => $(id).value).join(" "));
    if (text === "wifi-qr") report("clips " + [...document.querySelectorAll("#clips b")].map((b) => b.textContent).join("|"));
  };
  // An element by its id, else by the text a screen reader reads.
  const name = (e) => {
    const read = e.cloneNode(true);
    read.querySelectorAll("[aria-hidden]").forEach((hidden) => hidden.remove());
    return e.id || read.textContent.trim();
  };
  document.addEventListener("focusin", (e) => report("focus " + name(e.target)));
  let size = "";
  setInterval(() => {
    const now = innerWidth + " " + innerHeight + " " + Math.round($("wave").getBoundingClientRect().width) + " " + $("wave").width;
    if (now !== size) report("size " + (size = now));
  }, 100);
})();
