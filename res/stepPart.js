/* Step 2: choose the part that rings. The song's waveform with the part shaded,
 * two handles, fields for start and length, presets, a fade and a preview.
 * A CD track is copied first, so the part is chosen on the copy. */
(() => {
  "use strict";

  const S = Song;
  const { Q, $, work } = S;
  const ext = Q.host();

  const defaultLengthMs = 30000;
  const shortestMs = 1000;  // the clip job takes 1 to 60 s
  const longestMs = 60000;
  const fadeMs = 1000;
  const handleReach = 8;    // px either side of a handle that grab it

  // What the waveform job gave and what the user chose; times in ms.
  const song = { input: "", durationMs: 0, suggestedMs: 0, peaks: [] };
  const part = { startMs: 0, lengthMs: defaultLengthMs };
  let drag = null;          // { what: "start" | "end" | "move", grabMs }
  let player = null;
  let playing = null;       // the timer that stops the preview at the part's end

  // The members the part needs; without them the whole song becomes the clip.
  const canChoose = () => ["DTE_ReadWaveform", "DTE_wfStatus", "DTE_wfResponse", "DTE_TranscodeClip"]
    .every((name) => typeof ext[name] !== "undefined");

  /* ---- times ---- */

  // "m:ss.s", "m:ss" or plain seconds; null for anything else.
  function parseTime(text) {
    const match = /^\s*(?:(\d{1,3}):)?(\d{1,4}(?:[.,]\d{0,3})?)\s*$/.exec(text);
    if (!match) return null;
    const seconds = parseFloat(match[2].replace(",", "."));
    if (match[1] !== undefined && seconds >= 60) return null;
    return Math.round(((match[1] ? parseInt(match[1], 10) * 60 : 0) + seconds) * 1000);
  }

  const clamp = (value, low, high) => Math.min(Math.max(value, low), high);

  // The longest part this song allows: 60 s, or the whole of a shorter song.
  const longest = () => Math.min(longestMs, song.durationMs);

  // Keeps the part inside the song and within the clip job's limits.
  function setPart(startMs, lengthMs) {
    part.lengthMs = Math.round(clamp(lengthMs, Math.min(shortestMs, song.durationMs), longest()));
    part.startMs = Math.round(clamp(startMs, 0, song.durationMs - part.lengthMs));
    render();
  }

  /* ---- loading: copy the CD track, then read the waveform ---- */

  function start(picked) {
    stopPreview();
    work.source = picked;
    work.clip = "";
    S.message("pick-message", "");
    S.message("part-error", "");
    $("part-source").textContent = picked.label;
    $("part-loading").hidden = false;
    $("part-editor").hidden = true;
    $("stage-rip").hidden = picked.kind !== "cd";
    $("stage-read").hidden = !canChoose();
    $("stage-read").querySelector(".mark").setAttribute("data-n", picked.kind === "cd" ? "2" : "1");
    ["stage-rip", "stage-read"].forEach((id) => S.stage(id, "pending", "Waiting"));
    showActions("loading");
    S.show("part");
    $("part-cancel").focus();
    if (picked.kind === "cd") rip(); else read(picked.path);
  }

  function showActions(mode) {
    $("part-cancel").hidden = mode !== "loading";
    $("part-other").hidden = mode === "loading";
    $("part-retry").hidden = mode !== "failed";
    $("part-play").hidden = mode !== "editing" || !canPlay(song.input);
    $("part-make").hidden = mode !== "editing";
  }

  function failed(stageId, text, code) {
    S.stage(stageId, "failed", "Failed");
    S.message("part-error", text);
    showActions(stageId === "stage-rip" ? "failed" : "unreadable");
    $(stageId === "stage-rip" ? "part-retry" : "part-other").focus();
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
        read(wav);
      });
  }

  function read(input) {
    song.input = input;
    if (!canChoose()) {
      S.steps.make.start(input, null);
      return;
    }
    Q.state("reading");
    S.busy("stage-read", "Working…");
    const points = $("wave").width;
    if (!ext.DTE_ReadWaveform(input, points)) {
      failed("stage-read", "The song could not be read.", "start");
      return;
    }
    Q.poll(() => ext.DTE_wfStatus, (v) => v >= 100, null, (v) => {
      const fields = v === 100 ? Q.splitList(String(ext.DTE_wfResponse)) : [];
      const durationMs = parseInt(fields[0], 10);
      if (v !== 100 || !(durationMs > 0)) {
        failed("stage-read", "This file cannot be read as music. It may be damaged, or not a sound file.", v);
        return;
      }
      S.stage("stage-read", "done", "Done");
      song.durationMs = durationMs;
      song.suggestedMs = parseInt(fields[1], 10) || 0;
      song.peaks = (fields[2] || "").split(",").map((p) => parseInt(p, 10) || 0);
      edit();
    });
  }

  /* ---- choosing ---- */

  function edit() {
    const whole = song.durationMs <= defaultLengthMs;
    setPart(song.suggestedMs, defaultLengthMs);
    $("part-note").textContent = whole
      ? "The song is " + Q.formatMs(song.durationMs) + " long, so all of it is chosen."
      : "The liveliest 30 seconds are chosen for you. Drag the part or its edges to change it.";
    $("part-fade").checked = true;
    $("part-loading").hidden = true;
    $("part-editor").hidden = false;
    showActions("editing");
    $("wave").focus();
    Q.state("part " + part.startMs + " " + part.lengthMs + " of " + song.durationMs);
  }

  function render() {
    const end = part.startMs + part.lengthMs;
    $("part-start").value = Q.formatMs(part.startMs);
    $("part-length").value = Q.formatMs(part.lengthMs);
    document.querySelectorAll("#part-presets button").forEach((button) => {
      const preset = parseInt(button.value, 10);
      button.setAttribute("aria-pressed", String(preset === part.lengthMs));
      button.disabled = preset > longest() && song.durationMs > 0;
    });
    // A part of up to 30 s makes a file just under 30 s, which iPhones take.
    $("part-iphone").textContent = part.lengthMs > Q.iphoneLongestMs ? "Too long for iPhones (under 30 s); fine for Android" : "";
    const wave = $("wave");
    wave.setAttribute("aria-valuenow", String(Math.round(part.startMs / 100) / 10));
    wave.setAttribute("aria-valuemax", String(Math.round((song.durationMs - part.lengthMs) / 100) / 10));
    wave.setAttribute("aria-valuetext", "From " + Q.formatMs(part.startMs) + " to " + Q.formatMs(end) +
      " of " + Q.formatMs(song.durationMs));
    draw();
  }

  const xOf = (ms, width) => (ms / song.durationMs) * width;

  function draw(playheadMs) {
    const canvas = $("wave");
    const g = canvas.getContext("2d");
    const { width, height } = canvas;
    const style = getComputedStyle(canvas);
    const colour = (name) => style.getPropertyValue(name).trim();
    const from = xOf(part.startMs, width);
    const to = xOf(part.startMs + part.lengthMs, width);
    g.clearRect(0, 0, width, height);
    g.fillStyle = colour("--part");
    g.fillRect(from, 0, to - from, height);
    const middle = height / 2;
    song.peaks.forEach((peak, i) => {
      const x = (i / song.peaks.length) * width;
      const half = Math.max(1, (peak / 100) * (middle - 2));
      g.fillStyle = x >= from && x < to ? colour("--wave-in") : colour("--wave-out");
      g.fillRect(x, middle - half, Math.max(1, width / song.peaks.length - 0.3), half * 2);
    });
    g.fillStyle = colour("--handle");
    [from, to].forEach((x) => {
      const left = clamp(x - 1.5, 0, width - 3);
      g.fillRect(left, 0, 3, height);
      g.fillRect(clamp(x - 6, 0, width - 12), 0, 12, 8);
      g.fillRect(clamp(x - 6, 0, width - 12), height - 8, 12, 8);
    });
    if (playheadMs !== undefined) {
      g.fillStyle = colour("--playhead");
      g.fillRect(xOf(playheadMs, width) - 1, 0, 2, height);
    }
    if (document.activeElement === canvas) {
      g.strokeStyle = colour("--handle");
      g.setLineDash([4, 3]);
      g.strokeRect(from + 2, 2, Math.max(0, to - from - 4), height - 4);
      g.setLineDash([]);
    }
  }

  /* ---- mouse: the handles move an edge, the shaded part moves whole ---- */

  // The time under the pointer, on the tenths the fields show.
  function msAt(event) {
    const box = $("wave").getBoundingClientRect();
    return Math.round(clamp((event.clientX - box.left) / box.width, 0, 1) * song.durationMs / 100) * 100;
  }

  function grab(event) {
    if (event.button !== 0 || !song.durationMs) return;
    const box = $("wave").getBoundingClientRect();
    const x = event.clientX - box.left;
    const from = xOf(part.startMs, box.width);
    const to = xOf(part.startMs + part.lengthMs, box.width);
    const at = msAt(event);
    if (Math.abs(x - to) <= handleReach) drag = { what: "end" };
    else if (Math.abs(x - from) <= handleReach) drag = { what: "start" };
    else if (x > from && x < to) drag = { what: "move", grabMs: at - part.startMs };
    else {
      // A press outside the part brings the part there, centred on the press.
      setPart(at - part.lengthMs / 2, part.lengthMs);
      drag = { what: "move", grabMs: at - part.startMs };
    }
    $("wave").setPointerCapture(event.pointerId);
    $("wave").focus();
    event.preventDefault();
  }

  function pull(event) {
    if (!drag) {
      hover(event);
      return;
    }
    const at = msAt(event);
    const end = part.startMs + part.lengthMs;
    if (drag.what === "move") setPart(at - drag.grabMs, part.lengthMs);
    else if (drag.what === "end") setPart(part.startMs, at - part.startMs);
    else setPart(Math.min(at, end - shortestMs), end - Math.min(at, end - shortestMs));
  }

  function hover(event) {
    const box = $("wave").getBoundingClientRect();
    const x = event.clientX - box.left;
    const near = [part.startMs, part.startMs + part.lengthMs]
      .some((ms) => Math.abs(x - xOf(ms, box.width)) <= handleReach);
    $("wave").style.cursor = near ? "ew-resize" : "grab";
  }

  function release() {
    if (!drag) return;
    drag = null;
    changed();
  }

  /* ---- keyboard ---- */

  function key(event) {
    const step = event.shiftKey ? 100 : 1000;
    const moves = {
      ArrowLeft: () => setPart(part.startMs - step, part.lengthMs),
      ArrowRight: () => setPart(part.startMs + step, part.lengthMs),
      ArrowDown: () => setPart(part.startMs, part.lengthMs - step),
      ArrowUp: () => setPart(part.startMs, part.lengthMs + step),
      Home: () => setPart(0, part.lengthMs),
      End: () => setPart(song.durationMs, part.lengthMs),
      " ": togglePreview,
      Enter: make
    };
    const move = moves[event.key];
    if (!move || event.ctrlKey || event.altKey) return;
    event.preventDefault();
    move();
    if (event.key !== " " && event.key !== "Enter") changed();
  }

  // A finished change: the preview starts again from the new start.
  function changed() {
    if (player && !player.paused) playPreview();
    Q.state("part " + part.startMs + " " + part.lengthMs + " of " + song.durationMs);
  }

  function typedTime(field, apply) {
    const ms = parseTime(field.value);
    if (ms === null) {
      S.message("part-error", "Please write the time as minutes and seconds, for example 1:05.5.");
      render();
      field.select();
      return;
    }
    S.message("part-error", "");
    apply(ms);
    changed();
  }

  /* ---- preview: exactly the part, from its start to its end ---- */

  const types = {
    mp3: "audio/mpeg", wav: "audio/wav", ogg: "audio/ogg", oga: "audio/ogg", opus: "audio/ogg; codecs=opus",
    flac: "audio/flac", m4a: "audio/mp4", aac: "audio/aac", aif: "audio/aiff", aiff: "audio/aiff",
    wma: "audio/x-ms-wma"
  };

  function canPlay(path) {
    const type = types[(/\.([^./\\]+)$/.exec(path) || ["", ""])[1].toLowerCase()];
    try {
      return !!type && new Audio().canPlayType(type) !== "";
    } catch (e) {
      return false;
    }
  }

  function playPreview() {
    if (!player) {
      player = new Audio();
      player.preload = "auto";
    }
    const url = Q.fileUrl(song.input);
    if (player.getAttribute("src") !== url) player.setAttribute("src", url);
    const end = (part.startMs + part.lengthMs) / 1000;
    player.currentTime = part.startMs / 1000;
    player.play().catch(() => stopPreview());
    $("part-play").textContent = "\u25A0 Stop";
    Q.state("playing " + part.startMs + " " + part.lengthMs);
    clearInterval(playing);
    playing = setInterval(() => {
      const now = player.currentTime;
      if (now >= end || player.ended) {
        stopPreview();
        Q.state("played to " + Math.round(now * 1000));
        return;
      }
      draw(now * 1000);
    }, 25);
  }

  function stopPreview() {
    clearInterval(playing);
    playing = null;
    if (player) player.pause();
    $("part-play").textContent = "\u25B6 Play this part";
    if (song.durationMs) draw();
  }

  function togglePreview() {
    if (player && !player.paused) stopPreview(); else playPreview();
  }

  /* ---- on to the clip ---- */

  function make() {
    stopPreview();
    // A song under a second is below the shortest part: it is made whole.
    if (part.lengthMs < shortestMs) {
      S.steps.make.start(song.input, null);
      return;
    }
    const fade = $("part-fade").checked ? Math.min(fadeMs, Math.floor(part.lengthMs / 2)) : 0;
    S.steps.make.start(song.input, { startMs: part.startMs, lengthMs: part.lengthMs, fadeMs: fade });
  }

  function cancel() {
    ext.DTE_BreakAsyncOperation();
    Q.state("cancelled");
    S.startOver("Stopped. Nothing was kept; pick the music again whenever you like.");
  }

  function wire() {
    const wave = $("wave");
    wave.addEventListener("pointerdown", grab);
    wave.addEventListener("pointermove", pull);
    wave.addEventListener("pointerup", release);
    wave.addEventListener("pointercancel", release);
    wave.addEventListener("keydown", key);
    wave.addEventListener("focus", () => draw());
    wave.addEventListener("blur", () => draw());
    $("part-start").addEventListener("change", (e) => typedTime(e.target, (ms) => setPart(ms, part.lengthMs)));
    $("part-length").addEventListener("change", (e) => typedTime(e.target, (ms) => setPart(part.startMs, ms)));
    document.querySelectorAll("#part-presets button").forEach((button) => {
      button.addEventListener("click", () => {
        setPart(part.startMs, parseInt(button.value, 10));
        changed();
      });
    });
    $("part-play").addEventListener("click", togglePreview);
    $("part-make").addEventListener("click", make);
    $("part-cancel").addEventListener("click", cancel);
    $("part-retry").addEventListener("click", () => { Q.stopAllPolling(); start(work.source); });
    $("part-other").addEventListener("click", () => S.startOver());
  }

  S.steps.part = { wire, start, leave: stopPreview, canChoose };
})();
