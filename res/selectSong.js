/* The start page's controller: pick the music, choose the part, make the clip,
 * send it. It alone holds the work in progress and the step on show, and moves
 * between the steps. Each step*.js file registers itself in Song.steps, draws its
 * step from what it is given and reports back through the calls returned below. */
const Song = (() => {
  "use strict";

  const Q = Quillon;
  const { $, message, stage } = Dom;

  const work = {
    source: null, // { kind: "file", path, label } or { kind: "cd", drive, track, label }
    song: "",     // the file the clip is cut from: the picked file, or the copy of the CD track
    part: null,   // { kind, startMs, lengthMs, fadeInMs, fadeOutMs } of the song, or null for all of it
    clip: "",     // the finished, levelled MP3
    // Every clip made in this run and still in the temporary folder, oldest first:
    // { clip, source, part, label, loudness }.
    clips: []
  };

  // Each step: { view, wire() once at start, enter(given) whenever its view is shown,
  // leave() when it is hidden, resume() after the jobs were stopped while it shows }.
  // The send view has two: the ways to the phone and the online service.
  const steps = {};
  const order = ["pick", "part", "make", "send"];
  let current = "";

  // What a step is given: a copy of the work, and "Song.mp3 · from 1:05.0 to 1:25.0",
  // what the clip is made of.
  function given() {
    const label = work.source ? work.source.label + (work.part ? " \u00B7 " + Q.partText(work.part) : "") : "";
    return Object.freeze({ ...work, label, clips: work.clips.slice() });
  }

  const stepsOf = (view) => Object.values(steps).filter((step) => step.view === view);

  // Which passed steps can be shown again: the start always, the part while the
  // part step still holds its song; making is never gone back to, only redone.
  function canGoBack(view) {
    return view === "pick" || (view === "part" && steps.part.canReturn());
  }

  // The step bar: passed steps that can be gone back to are buttons, the others text.
  function drawStepBar(at) {
    document.querySelectorAll(".steps li").forEach((item, i) => {
      const back = i < at && canGoBack(order[i]);
      const was = item.firstElementChild;
      if ((was.tagName === "BUTTON") !== back) {
        const now = document.createElement(back ? "button" : "span");
        if (back) {
          now.type = "button";
          now.addEventListener("click", () => goBack(order[i]));
        }
        now.replaceChildren(...was.childNodes);
        was.replaceWith(now);
      }
      item.className = i === at ? "current" : i < at ? "past" : "";
      if (i === at) item.setAttribute("aria-current", "step"); else item.removeAttribute("aria-current");
    });
  }

  function show(view) {
    order.forEach((name) => { $(name).hidden = name !== view; });
    document.body.setAttribute("data-view", view);
    drawStepBar(order.indexOf(view));
    const before = current;
    current = view;
    if (before !== view) stepsOf(before).forEach((step) => step.leave && step.leave());
    stepsOf(view).forEach((step) => step.enter && step.enter(given()));
  }

  /* ---- what the steps report ---- */

  // The music is picked; its part is chosen next.
  function picked(source) {
    Object.assign(work, { source, song: "", part: null, clip: "" });
    message("pick-message", "");
    show("part");
  }

  // The part of song is chosen (null: all of it); the clip is made next. Turning
  // a whole song into a clip clears the temporary folder of the earlier clips.
  function partChosen(song, part) {
    Object.assign(work, { song, part, clip: "" });
    if (!part) work.clips = [];
    show("make");
  }

  // The clip is made and levelled to loudness ("-12" LUFS, "" when not told).
  function clipMade(clip, loudness) {
    work.clip = clip;
    work.clips.push({ clip, source: work.source, part: work.part, label: given().label, loudness });
    show("send");
  }

  // The failed step once more. Turning a whole song into a clip removes the copy
  // of a CD track, so such a clip of a track is copied again.
  function retry() {
    Q.stopAllPolling();
    show(current === "make" && (work.source.kind !== "cd" || work.part) ? "make" : "part");
  }

  // A passed step shown again, from the step bar or a step's own button: what
  // runs now is stopped; the start forgets the work, the part step keeps it.
  function goBack(view) {
    if (!canGoBack(view) || order.indexOf(view) >= order.indexOf(current)) return;
    Q.host().DTE_BreakAsyncOperation();
    Q.stopAllPolling();
    Q.state("back " + view);
    if (view === "pick") {
      startOver();
      return;
    }
    work.clip = "";
    show(view);
  }

  // Stops every job; the steps on show take up again what they still follow.
  function stopJobs() {
    Q.host().DTE_BreakAsyncOperation();
    Q.stopAllPolling();
    stepsOf(current).forEach((step) => step.resume && step.resume());
  }

  // A step's Cancel: nothing is kept.
  function cancel() {
    stopJobs();
    Q.state("cancelled");
    startOver("Stopped. Nothing was kept; pick the music again whenever you like.");
  }

  // Returns to a clean first step, with a note when there is one to give.
  function startOver(note) {
    Q.stopAllPolling();
    Object.assign(work, { source: null, song: "", part: null, clip: "" });
    show("pick");
    message("pick-message", note || "");
    $("choose-file").focus();
    Q.state("pick");
  }

  // A stage that failed: marked, its reason said, the step's buttons set (as
  // Dom.buttons takes them) and "failed <stage><detail>" told to the watcher.
  function fail(stageId, errorId, text, detail, shown, focusId) {
    stage(stageId, "failed", "Failed");
    message(errorId, text);
    Dom.buttons(shown, focusId);
    Q.state("failed " + stageId.replace("stage-", "") + detail);
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

  return {
    steps, showing: () => current, canGoBack,
    picked, partChosen, clipMade, retry, goBack, stopJobs, cancel, startOver, fail
  };
})();
