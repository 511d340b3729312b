/* Step 3: make the clip: turn the song or its part into an MP3, level it. */
(() => {
  "use strict";

  const S = Song;
  const Q = Quillon;
  const { $, message, stage, busy } = Dom;
  const ext = Q.host();
  // The code for the phone is up about a second after "Make the clip": the
  // jobs' ends are seen within a tenth of that.
  const pollMs = 50;

  // What the clip is made of: the song, and its part or null for all of it.
  let input = "";
  let part = null;

  function enter(given) {
    input = given.song;
    part = given.part;
    message("make-error", "");
    $("make-source").textContent = given.label;
    ["stage-convert", "stage-level"].forEach((id) => stage(id, "pending", "Waiting"));
    Dom.buttons({ "make-retry": false, "make-other": false, "make-cancel": true }, "make-cancel");
    convert();
  }

  const failed = (stageId, text, code) => S.fail(stageId, "make-error", text, " " + code,
    { "make-cancel": false, "make-retry": true, "make-other": true }, "make-retry");

  function convert() {
    const output = Q.tempPath("clip-" + Date.now() + ".mp3");
    Q.state("converting" + (part ? " " + [part.startMs, part.lengthMs, part.fadeInMs, part.fadeOutMs].join(" ") : ""));
    busy("stage-convert", "Working…");
    // A host that takes one fade length reads the first five arguments and fades both ends alike.
    const started = part
      ? ext.DTE_TranscodeClip(input, output, part.startMs, part.lengthMs, part.fadeInMs, part.fadeOutMs, part.kind)
      : ext.DTE_TranscodeMedia(input, output);
    if (!started) {
      failed("stage-convert", "The converter could not be started.", "start");
      return;
    }
    Q.poll(() => ext.DTE_tsStatus, Q.ended("transcode"), null,
      (v) => {
        if (v !== 1) {
          // The host may say why; without that member the general text stays.
          const reason = typeof ext.DTE_tsReason !== "undefined" ? String(ext.DTE_tsReason) : "";
          failed("stage-convert", Q.transcodeFailure(reason), reason ? v + " " + reason : v);
          return;
        }
        stage("stage-convert", "done", "Done");
        level(output);
      }, pollMs);
  }

  const levelSteps = { 10: "Step 1 of 3", 30: "Step 2 of 3", 80: "Step 3 of 3" };

  function level(file) {
    Q.state("levelling");
    stage("stage-level", "active", "Starting", 0);
    if (!ext.DTE_NormalizeAudio(file)) {
      failed("stage-level", "Levelling could not be started.", "start");
      return;
    }
    Q.poll(() => ext.DTE_norStatus, Q.ended("normalize"),
      (v) => { if (v < 100) stage("stage-level", "active", levelSteps[v] || "Starting", v); },
      (v) => {
        if (v !== 100) { failed("stage-level", Q.normalizeError(v), v); return; }
        stage("stage-level", "done", "Done");
        Q.state("clip-ready " + file);
        // Integrated loudness of the levelled clip, as the gain step measured it.
        S.clipMade(file, typeof ext.DTE_norLoudness !== "undefined" ? String(ext.DTE_norLoudness) : "");
      }, pollMs);
  }

  function wire() {
    $("make-cancel").addEventListener("click", S.cancel);
    $("make-retry").addEventListener("click", S.retry);
    $("make-other").addEventListener("click", () => S.startOver());
  }

  S.steps.make = { view: "make", wire, enter };
})();
