/* Step 2: make the clip: copy the CD track, turn it into an MP3, level it. */
(() => {
  "use strict";

  const S = Song;
  const { Q, $, work } = S;
  const ext = Q.host();

  function start(picked) {
    work.source = picked;
    work.clip = "";
    S.message("pick-message", "");
    S.message("make-error", "");
    $("make-source").textContent = picked.label;
    $("stage-rip").hidden = picked.kind !== "cd";
    ["stage-rip", "stage-convert", "stage-level"].forEach((id) => S.stage(id, "pending", "Waiting"));
    $("make-retry").hidden = true;
    $("make-other").hidden = true;
    $("make-cancel").hidden = false;
    S.show("make");
    $("make-cancel").focus();
    if (picked.kind === "cd") rip(); else convert(picked.path);
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

  function rip() {
    const wav = Q.tempPath("track.wav");
    Q.state("ripping");
    S.stage("stage-rip", "active", "0 %", 0);
    if (!ext.DTE_GrabAudioDataFromCD(String(work.source.drive), String(work.source.track), wav)) {
      failed("stage-rip", "Copying from the CD could not be started.", "start");
      return;
    }
    Q.poll(() => ext.DTE_ripStatus, (v) => v >= 100,
      (v) => { if (v < 100) S.stage("stage-rip", "active", v + " %", v); },
      (v) => {
        if (v !== 100) { failed("stage-rip", Q.ripError(v), v); return; }
        S.stage("stage-rip", "done", "Done");
        convert(wav);
      });
  }

  function convert(input) {
    const output = Q.tempPath("clip-" + Date.now() + ".mp3");
    Q.state("converting");
    S.busy("stage-convert", "Working…");
    if (!ext.DTE_TranscodeMedia(input, output)) {
      failed("stage-convert", "The converter could not be started.", "start");
      return;
    }
    Q.poll(() => ext.DTE_tsStatus, (v) => v === 1 || v === 2, null,
      (v) => {
        if (v !== 1) { failed("stage-convert", Q.transcodeError, v); return; }
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
    $("make-retry").addEventListener("click", () => { Q.stopAllPolling(); start(work.source); });
    $("make-other").addEventListener("click", () => S.startOver());
  }

  S.steps.make = { wire, start };
})();
