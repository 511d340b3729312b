/* The start page's small DOM helpers: elements by id, notes, the stage rows
 * with their bars, and which of a step's buttons show. */
const Dom = (() => {
  "use strict";

  const $ = (id) => document.getElementById(id);

  // A note that is hidden while it has nothing to say.
  function message(id, text) {
    const element = $(id);
    element.textContent = text || "";
    element.hidden = !text;
  }

  // status: "pending", "active" (with percent), "busy", "done" or "failed".
  function stage(id, status, text, percent) {
    const element = $(id);
    element.className = "stage " + status;
    element.querySelector(".state").textContent = text || "";
    const bar = element.querySelector(".bar");
    const fill = bar.firstElementChild;
    bar.className = "bar" + (status === "busy" ? " busy" : status === "done" ? " done" : status === "failed" ? " failed" : "");
    fill.style.width = status === "active" ? (percent || 0) + "%" : "";
    const mark = element.querySelector(".mark");
    mark.textContent = status === "done" ? "\u2713" : status === "failed" ? "!" : mark.getAttribute("data-n");
  }

  // A stage that works for an unknown time.
  function busy(id, text) {
    stage(id, "busy", text);
    $(id).classList.add("active");
  }

  // shown: { buttonId: true to show, false to hide }; then the focus goes to focusId, if given.
  function buttons(shown, focusId) {
    Object.entries(shown).forEach(([id, on]) => { $(id).hidden = !on; });
    if (focusId) $(focusId).focus();
  }

  return { $, message, stage, busy, buttons };
})();
