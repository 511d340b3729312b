/* The start page: pick the music, choose the part, make the clip, send it.
 * This file holds what the steps share (the page's state, the views and the
 * stage rows) and starts the page; each step lives in its own step*.js file and
 * registers itself in Song.steps. */
const Song = (() => {
  "use strict";

  const Q = Quillon;
  const $ = (id) => document.getElementById(id);

  // The one owner of what the user has picked and made so far.
  const work = {
    source: null, // { kind: "file", path, label } or { kind: "cd", drive, track, label }
    part: null,   // { startMs, lengthMs, fadeInMs, fadeOutMs } of the source, or null for all of it
    clip: ""      // the finished, levelled MP3
  };

  // "Song.mp3 · from 1:05.0 to 1:25.0": what the clip is made of.
  const clipLabel = () => work.source.label + (work.part ? " \u00B7 " + Q.partText(work.part) : "");

  // Each step: { wire() once at start, enter() when shown, leave() when hidden }.
  const steps = {};
  const order = ["pick", "part", "make", "send"];
  let current = "";

  function show(view) {
    order.forEach((name) => { $(name).hidden = name !== view; });
    document.body.setAttribute("data-view", view);
    const at = order.indexOf(view);
    document.querySelectorAll(".steps li").forEach((item, i) => {
      item.className = i === at ? "current" : i < at ? "past" : "";
    });
    const before = current;
    current = view;
    if (before !== view && steps[before] && steps[before].leave) steps[before].leave();
    if (steps[view] && steps[view].enter) steps[view].enter();
  }

  function message(id, text) {
    const element = $(id);
    element.textContent = text || "";
    element.hidden = !text;
  }

  /* ---- stages with their bars ---- */

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

  function busy(id, text) {
    stage(id, "busy", text);
    $(id).classList.add("active");
  }

  /* ---- back to the start ---- */

  // Returns to a clean first step, with a note when there is one to give.
  function startOver(note) {
    Q.stopAllPolling();
    work.source = null;
    work.part = null;
    work.clip = "";
    show("pick");
    message("pick-message", note || "");
    $("choose-file").focus();
    Q.state("pick");
  }

  function start() {
    if (!Q.requireHost()) return;
    const ext = Q.host();
    document.querySelectorAll(".stage .mark").forEach((mark) => mark.setAttribute("data-n", mark.textContent));
    $("nav-usage").addEventListener("click", () => ext.DTE_ShowUsage());
    $("nav-compat").addEventListener("click", () => steps.sendService.checkPhone());
    $("nav-contact").addEventListener("click", () => ext.DTE_ShowContact());
    $("nav-about").addEventListener("click", () => ext.DTE_ShowAboutBox());
    $("nav-home").addEventListener("click", Q.openHomepage);
    Object.values(steps).forEach((step) => step.wire());
    show("pick");
    $("choose-file").focus();
    Q.state("pick");
    steps.pick.takeCommandLineFile();
  }

  // The step files load after this one; start once all of them are in.
  document.addEventListener("DOMContentLoaded", start);

  return { Q, $, work, clipLabel, steps, show, message, stage, busy, startOver };
})();
