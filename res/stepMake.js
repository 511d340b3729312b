/* Step 3: make the clip: turn the song or its part into an MP3, level it. */
(() => {
  "use strict";

  const S = Song;
  const { Q, $, work } = S;
  const ext = Q.host();

  // The song: a file, or the copy of a CD track.
  let input = "";

  // Makes the clip of work.part of the song, or of all of it when there is no part.
  function start(song, part) {
    input = song;
    work.part = part;
    work.clip = "";
    S.message("make-error", "");
    $("make-source").textContent = S.clipLabel();
    ["stage-convert", "stage-level"].forEach((id) => S.stage(id, "pending", "Waiting"));
    $("make-retry").hidden = true;
    $("make-other").hidden = true;
    $("make-cancel").hidden = false;
    S.show("make");
    $("make-cancel").focus();
    convert();
  }

  // The conversion removes the copy of a CD track, so a retry copies it again.
  function retry() {
    Q.stopAllPolling();
    if (work.source.kind === "cd") S.steps.part.start(work.source);
    else start(input, work.part);
  }

  function failed(stageId, text, code) {
    S.stage(stageId, "failed", "Failed");
    S.message("make-error", text);
    $("make-cancel").hidden = true;
    $("make-retry").hidden = false;
    $("make-other").hidden = false;
    $("make-retry").focus();
    Q.state("failed " + stageId.replace("stage-", "") + " " + code);
  }

  function convert() {
    const output = Q.tempPath("clip-" + Date.now() + ".mp3");
    const part = work.part;
    Q.state("converting" + (part ? " " + [part.startMs, part.lengthMs, part.fadeInMs, part.fadeOutMs].join(" ") : ""));
    S.busy("stage-convert", "Working…");
    // A host that takes one fade length reads the first five arguments and fades both ends alike.
    const started = part ? ext.DTE_TranscodeClip(input, output, part.startMs, part.lengthMs, part.fadeInMs, part.fadeOutMs)
      : ext.DTE_TranscodeMedia(input, output);
    if (!started) {
      failed("stage-convert", "The converter could not be started.", "start");
      return;
    }
    Q.poll(() => ext.DTE_tsStatus, (v) => v === 1 || v === 2, null,
      (v) => {
        if (v !== 1) {
          // The host may say why; without that member the general text stays.
          const reason = typeof ext.DTE_tsReason !== "undefined" ? String(ext.DTE_tsReason) : "";
          failed("stage-convert", Q.transcodeFailure(reason), reason ? v + " " + reason : v);
          return;
        }
        S.stage("stage-convert", "done", "Done");
        level(output);
      });
  }

  const levelSteps = { 10: "Step 1 of 3", 30: "Step 2 of 3", 80: "Step 3 of 3" };

  function level(file) {
    Q.state("levelling");
    S.stage("stage-level", "active", "Starting", 0);
    if (!ext.DTE_NormalizeAudio(file)) {
      failed("stage-level", "Levelling could not be started.", "start");
      return;
    }
    Q.poll(() => ext.DTE_norStatus, (v) => v >= 100,
      (v) => { if (v < 100) S.stage("stage-level", "active", levelSteps[v] || "Starting", v); },
      (v) => {
        if (v !== 100) { failed("stage-level", Q.normalizeError(v), v); return; }
        S.stage("stage-level", "done", "Done");
        work.clip = file;
        Q.state("clip-ready " + file);
        S.steps.send.open();
      });
  }

  // Stops every job and returns to a clean first step.
  function cancel() {
    ext.DTE_BreakAsyncOperation();
    Q.state("cancelled");
    S.startOver("Stopped. Nothing was kept; pick the music again whenever you like.");
  }

  function wire() {
    $("make-cancel").addEventListener("click", cancel);
    $("make-retry").addEventListener("click", retry);
    $("make-other").addEventListener("click", () => S.startOver());
  }

  S.steps.make = { wire, start };
})();
