/* Step 2: choose the part that rings. This controller owns the part step's
 * state (the song's waveform, the part, its fades, the visible span) and turns
 * pointer, wheel, key and field events into changes of it; WaveView draws it and
 * PartRing plays it. A CD track is copied first, so the part is chosen on the copy. */
(() => {
  "use strict";

  const S = Song;
  const { Q, $, work } = S;
  const T = PartTime;
  const ext = Q.host();

  const defaultLengthMs = 30000;
  const shortestMs = 1000;     // the clip job takes 1 to 60 s
  const longestMs = 60000;
  const defaultFadeMs = 1000;
  const longestFadeMs = 5000;
  const finestMsPerPx = 10;    // the deepest zoom
  const fineKeysMsPerPx = 20;  // from here in, Shift+arrows move by 0.01 s
  const snapReachMs = 150;     // an edge dragged settles on the quietest instant this near
  const handleReach = 8;       // px either side of a handle that grab it
  const readPollMs = 50;

  // What the waveform job gave (points: the overview peaks asked for) and what the user chose; times in ms.
  const song = { input: "", data: WaveData.parse(""), points: 0, ready: false, drawn: false };
  const part = { startMs: 0, lengthMs: defaultLengthMs };
  const fades = { inMs: defaultFadeMs, outMs: defaultFadeMs };
  const view = { fromMs: 0, msPerPx: 1 };
  let drag = null;             // { what: "start"|"end"|"move"|"fade-in"|"fade-out"|"pan"|"strip", ... }
  let playheadMs;

  const ring = PartRing.create({
    onTick: (ms) => { playheadMs = ms; keepInView(ms); draw(); },
    onRound: (round) => Q.state("ring " + round),
    onEnd: (reason, round) => {
      playheadMs = undefined;
      $("part-play").textContent = "\u25B6 Hear it ring";
      if (song.ready) draw();
      Q.state(reason === "rang" ? "rang " + round : "ring stopped " + round);
    }
  });

  // The members the part needs; without them the whole song becomes the clip.
  const canChoose = () => ["DTE_ReadWaveform", "DTE_wfStatus", "DTE_wfResponse", "DTE_TranscodeClip"]
    .every((name) => typeof ext[name] !== "undefined");

  const clamp = (value, low, high) => Math.min(Math.max(value, low), high);
  const durationMs = () => song.data.durationMs;
  const width = () => $("wave").width;

  // The longest part this song allows: 60 s, or the whole of a shorter song.
  const longest = () => Math.min(longestMs, durationMs());

  // Keeps the part inside the song and within the clip job's limits.
  function setPart(startMs, lengthMs) {
    part.lengthMs = Math.round(clamp(lengthMs, Math.min(shortestMs, durationMs()), longest()));
    part.startMs = Math.round(clamp(startMs, 0, durationMs() - part.lengthMs));
    render();
  }

  // The fades the clip gets: the chosen ones, shortened together when the part is
  // too short to hold both.
  function appliedFades() {
    const sum = fades.inMs + fades.outMs;
    if (sum <= part.lengthMs) return { ...fades };
    const scale = part.lengthMs / sum;
    return { inMs: Math.floor((fades.inMs * scale) / 10) * 10, outMs: Math.floor((fades.outMs * scale) / 10) * 10 };
  }

  /* ---- the visible span ---- */

  const fitMsPerPx = () => Math.max(durationMs(), 1) / width();

  function setView(fromMs, msPerPx) {
    view.msPerPx = clamp(msPerPx, Math.min(finestMsPerPx, fitMsPerPx()), fitMsPerPx());
    view.fromMs = clamp(fromMs, 0, durationMs() - width() * view.msPerPx);
  }

  // Zooms by factor keeping ms where it is on screen (at x px).
  function zoomAround(ms, x, factor) {
    const before = view.msPerPx;
    setView(0, before * factor);
    setView(ms - x * view.msPerPx, view.msPerPx);
    if (view.msPerPx !== before) Q.state("zoom " + Math.round(view.msPerPx));
    draw();
  }

  // By key the zoom keeps the part's start in place (or centres it when it is out of sight).
  function zoomByKey(factor) {
    const x = (part.startMs - view.fromMs) / view.msPerPx;
    zoomAround(part.startMs, x >= 0 && x <= width() ? x : width() / 2, factor);
  }

  function keepInView(ms) {
    const spanMs = width() * view.msPerPx;
    if (ms < view.fromMs) setView(ms - spanMs * 0.1, view.msPerPx);
    else if (ms > view.fromMs + spanMs) setView(ms - spanMs * 0.9, view.msPerPx);
  }

  /* ---- loading: copy the CD track, then read the waveform ---- */

  function start(picked) {
    ring.stop();
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
    $("part-play").hidden = mode !== "editing" || !PartRing.canPlay(song.input);
    $("part-make").hidden = mode !== "editing";
  }

  function failed(stageId, text, code) {
    S.stage(stageId, "failed", "Failed");
    S.message("part-error", text);
    $("part-loading").hidden = false;
    $("part-editor").hidden = true;
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
    song.points = width();
    song.ready = false;
    song.drawn = false;
    if (!ext.DTE_ReadWaveform(input, song.points)) {
      failed("stage-read", "The song could not be read.", "start");
      return;
    }
    Q.poll(() => ext.DTE_wfStatus, (v) => v >= 100, (v) => { if (v < 100) readSoFar(); }, (v) => {
      const data = WaveData.parse(v === 100 ? String(ext.DTE_wfResponse) : "");
      if (v !== 100 || !(data.durationMs > 0)) {
        failed("stage-read", "This file cannot be read as music. It may be damaged, or not a sound file.", v);
        return;
      }
      S.stage("stage-read", "done", "Done");
      showSong(data);
      edit();
    }, readPollMs);
  }

  // While the song is read, the waveform fills from the left with what is read so far.
  function readSoFar() {
    const data = WaveData.parse(String(ext.DTE_wfResponse));
    if (!(data.durationMs > 0) || !data.peaks.length) return;
    showSong(data);
    $("part-note").textContent = "Reading the song\u2026 " +
      Math.floor((100 * data.peaks.length) / song.points) + " %";
  }

  function showSong(data) {
    const first = !song.drawn;
    song.data = data;
    if (first) {
      song.drawn = true;
      setView(0, fitMsPerPx());
      setPart(0, defaultLengthMs);
      $("part-suggestions").replaceChildren();
      $("part-loading").hidden = true;
      $("part-editor").hidden = false;
      enableEditor(false);
    }
    draw();
    if (first) Q.state("wave-first " + data.peaks.length + " of " + song.points);
  }

  function enableEditor(on) {
    song.ready = on;
    document.querySelectorAll("#part-editor input, #part-editor button").forEach((e) => { e.disabled = !on; });
  }

  /* ---- choosing ---- */

  function edit() {
    fades.inMs = defaultFadeMs;
    fades.outMs = defaultFadeMs;
    setView(0, fitMsPerPx());
    const chips = song.data.suggestions.map((ms, i) => {
      const chip = document.createElement("button");
      chip.type = "button";
      chip.id = "part-suggestion-" + (i + 1);
      chip.textContent = "Suggested " + (i + 1);
      chip.title = "From " + T.format(ms);
      chip.addEventListener("click", () => choose(i));
      return chip;
    });
    $("part-suggestions").replaceChildren(...chips);
    const whole = durationMs() <= defaultLengthMs;
    $("part-note").textContent = whole
      ? "The song is " + T.format(durationMs()) + " long, so all of it is chosen."
      : chips.length > 1 ? "Pick a suggestion, or drag the part or its edges."
        : "The liveliest 30 seconds are chosen. Drag the part or its edges to change it.";
    enableEditor(true);
    setPart(song.data.suggestions[0] || 0, defaultLengthMs);
    $("part-loading").hidden = true;
    $("part-editor").hidden = false;
    showActions("editing");
    $("wave").focus();
    changed();
  }

  function choose(index) {
    setPart(song.data.suggestions[index], part.lengthMs);
    keepInView(part.startMs);
    changed();
    Q.state("suggestion " + (index + 1) + " " + part.startMs);
  }

  function render() {
    const end = part.startMs + part.lengthMs;
    $("part-start").value = T.format(part.startMs);
    $("part-end").value = T.format(end);
    $("part-length").value = T.format(part.lengthMs);
    $("part-fade-in").value = T.seconds(fades.inMs);
    $("part-fade-out").value = T.seconds(fades.outMs);
    document.querySelectorAll("#part-presets button").forEach((button) => {
      const preset = parseInt(button.value, 10);
      button.setAttribute("aria-pressed", String(preset === part.lengthMs));
      button.disabled = !song.ready || (preset > longest() && durationMs() > 0);
    });
    $("part-suggestions").querySelectorAll("button").forEach((chip, i) => {
      chip.setAttribute("aria-pressed", String(song.data.suggestions[i] === part.startMs));
    });
    // A part of up to 30 s makes a file just under 30 s, which iPhones take.
    $("part-iphone").textContent = part.lengthMs > Q.iphoneLongestMs ? "Too long for iPhones (under 30 s); fine for Android" : "";
    const wave = $("wave");
    wave.setAttribute("aria-valuenow", String(part.startMs / 1000));
    wave.setAttribute("aria-valuemax", String(Math.max(0, durationMs() - part.lengthMs) / 1000));
    wave.setAttribute("aria-valuetext", "From " + T.format(part.startMs) + " to " + T.format(end) +
      " of " + T.format(durationMs()));
    draw();
  }

  function draw() {
    WaveView.draw($("wave"), {
      data: song.data, points: song.points, view, part, fades: appliedFades(), playheadMs,
      focused: document.activeElement === $("wave")
    });
  }

  /* ---- pointer: handles move an edge or a fade, the part moves whole, the rest pans ---- */

  // Where the event is on the canvas, in canvas pixels, and which band it is in.
  function pointAt(event) {
    const canvas = $("wave");
    const box = canvas.getBoundingClientRect();
    const x = ((event.clientX - box.left) / box.width) * canvas.width;
    const y = ((event.clientY - box.top) / box.height) * canvas.height;
    return { x, y, inStrip: y >= WaveView.bands(canvas.height).strip[0] - 2 };
  }

  const msAtX = (x) => clamp(view.fromMs + x * view.msPerPx, 0, durationMs());
  const xOfMs = (ms) => (ms - view.fromMs) / view.msPerPx;
  // Pointer times fall on hundredths when zoomed in, else on tenths.
  const roundMs = (ms) => (view.msPerPx < 100 ? Math.round(ms / 10) * 10 : Math.round(ms / 100) * 100);

  function handleAt(x, y) {
    const applied = appliedFades();
    const waveTop = WaveView.bands($("wave").height).wave[0];
    const end = part.startMs + part.lengthMs;
    if (y <= waveTop + 12) {
      if (Math.abs(x - xOfMs(end - applied.outMs)) <= 6) return "fade-out";
      if (Math.abs(x - xOfMs(part.startMs + applied.inMs)) <= 6) return "fade-in";
    }
    if (Math.abs(x - xOfMs(end)) <= handleReach) return "end";
    if (Math.abs(x - xOfMs(part.startMs)) <= handleReach) return "start";
    return x > xOfMs(part.startMs) && x < xOfMs(end) ? "move" : "pan";
  }

  function grab(event) {
    if (event.button !== 0 || !song.ready) return;
    const { x, y, inStrip } = pointAt(event);
    const what = inStrip ? "strip" : handleAt(x, y);
    drag = { what, x, fromMs: view.fromMs, grabMs: msAtX(x) - part.startMs, moved: false };
    $("wave").setPointerCapture(event.pointerId);
    $("wave").focus();
    event.preventDefault();
    if (what === "strip") pull(event);
  }

  function pull(event) {
    const { x, y, inStrip } = pointAt(event);
    if (!drag) {
      const what = !song.ready || inStrip ? "strip" : handleAt(x, y);
      $("wave").style.cursor = what === "strip" ? "pointer" : what === "move" || what === "pan" ? "grab" : "ew-resize";
      return;
    }
    drag.moved = drag.moved || Math.abs(x - drag.x) > 3;
    const at = msAtX(x);
    const end = part.startMs + part.lengthMs;
    // An edge settles on the quietest instant near the pointer; Alt leaves it where it is.
    const edge = (ms) => (event.altKey ? roundMs(ms) : WaveData.quietest(song.data, roundMs(ms), snapReachMs));
    switch (drag.what) {
      case "strip": setView((x / width()) * durationMs() - (width() * view.msPerPx) / 2, view.msPerPx); draw(); break;
      case "pan": setView(drag.fromMs - (x - drag.x) * view.msPerPx, view.msPerPx); draw(); break;
      case "move": setPart(roundMs(at - drag.grabMs), part.lengthMs); break;
      case "end": setPart(part.startMs, edge(at) - part.startMs); break;
      case "start": {
        const startMs = Math.min(edge(at), end - shortestMs);
        setPart(startMs, end - startMs);
        break;
      }
      case "fade-in": setFades(Math.round((at - part.startMs) / 100) * 100, fades.outMs); break;
      case "fade-out": setFades(fades.inMs, Math.round((end - at) / 100) * 100); break;
      default: break;
    }
  }

  function release(event) {
    if (!drag) return;
    // Moves can be merged away; where the button comes up is where the drag ends.
    if (event.type === "pointerup") pull(event);
    const was = drag;
    drag = null;
    // A click (no drag) beside the part brings the part there, centred on it.
    if (was.what === "pan" && !was.moved) setPart(roundMs(msAtX(pointAt(event).x) - part.lengthMs / 2), part.lengthMs);
    if (was.what.startsWith("fade")) fadesChanged();
    else if ((was.what !== "pan" && was.what !== "strip") || !was.moved) changed();
  }

  // Ctrl+wheel and a touchpad's pinch zoom around the pointer; the wheel pans.
  function wheel(event) {
    if (!song.ready) return;
    event.preventDefault();
    const unit = event.deltaMode === 1 ? 40 : event.deltaMode === 2 ? width() : 1;
    const { x } = pointAt(event);
    if (event.ctrlKey) {
      zoomAround(msAtX(x), x, Math.exp(clamp(event.deltaY * unit, -200, 200) * 0.01));
      return;
    }
    const delta = (Math.abs(event.deltaX) > Math.abs(event.deltaY) ? event.deltaX : event.deltaY) * unit;
    setView(view.fromMs + delta * view.msPerPx, view.msPerPx);
    draw();
  }

  /* ---- keyboard ---- */

  function key(event) {
    if (!song.ready || event.ctrlKey || event.altKey || event.metaKey) return;
    const fine = view.msPerPx <= fineKeysMsPerPx;
    const step = event.shiftKey ? (fine ? 10 : 100) : 1000;
    const zooms = { "+": 0.5, "=": 0.5, "-": 2, "\u2212": 2, "_": 2 };
    const moves = {
      ArrowLeft: () => setPart(part.startMs - step, part.lengthMs),
      ArrowRight: () => setPart(part.startMs + step, part.lengthMs),
      ArrowDown: () => setPart(part.startMs, part.lengthMs - step),
      ArrowUp: () => setPart(part.startMs, part.lengthMs + step),
      Home: () => setPart(0, part.lengthMs),
      End: () => setPart(durationMs(), part.lengthMs)
    };
    if (moves[event.key]) {
      event.preventDefault();
      moves[event.key]();
      keepInView(/Down|Up/.test(event.key) ? part.startMs + part.lengthMs : part.startMs);
      changed();
    } else if (zooms[event.key]) {
      event.preventDefault();
      zoomByKey(zooms[event.key]);
    } else if (event.key === "0") {
      event.preventDefault();
      zoomByKey(Infinity);
    } else if (event.key === " ") {
      event.preventDefault();
      toggleRing();
    } else if (event.key === "Enter") {
      event.preventDefault();
      make();
    }
  }

  // A finished change: a ring in progress starts again from the new part.
  function changed() {
    if (ring.playing()) startRing();
    draw();
    Q.state("part " + part.startMs + " " + part.lengthMs + " of " + durationMs());
  }

  function setFades(inMs, outMs) {
    fades.inMs = clamp(inMs, 0, longestFadeMs);
    fades.outMs = clamp(outMs, 0, longestFadeMs);
    render();
  }

  function fadesChanged() {
    if (ring.playing()) startRing();
    const applied = appliedFades();
    Q.state("fades " + applied.inMs + " " + applied.outMs);
  }

  function typedTime(field, apply) {
    const ms = T.parse(field.value);
    if (ms === null || !apply(ms)) {
      S.message("part-error", "Please write the time as minutes and seconds, for example 1:05.25, or as seconds, for example 38.5.");
      render();
      field.select();
      return;
    }
    S.message("part-error", "");
    keepInView(part.startMs);
    changed();
  }

  function typedFade(field, apply) {
    const seconds = parseFloat(field.value.replace(",", "."));
    if (!(seconds >= 0 && seconds <= longestFadeMs / 1000)) {
      S.message("part-error", "A fade lasts from 0 to 5 seconds, for example 1.5.");
      render();
      field.select();
      return;
    }
    S.message("part-error", "");
    apply(Math.round(seconds * 10) * 100);
    fadesChanged();
  }

  /* ---- hear it ring ---- */

  function startRing() {
    const applied = appliedFades();
    ring.start(Q.fileUrl(song.input), part, applied);
    $("part-play").textContent = "\u25A0 Stop";
    Q.state("ringing " + part.startMs + " " + part.lengthMs + " " + applied.inMs + " " + applied.outMs);
  }

  function toggleRing() {
    if (ring.playing()) ring.stop(); else if (PartRing.canPlay(song.input)) startRing();
  }

  /* ---- on to the clip ---- */

  function make() {
    ring.stop();
    // A song under a second is below the shortest part: it is made whole.
    if (part.lengthMs < shortestMs) {
      S.steps.make.start(song.input, null);
      return;
    }
    const applied = appliedFades();
    S.steps.make.start(song.input,
      { startMs: part.startMs, lengthMs: part.lengthMs, fadeInMs: applied.inMs, fadeOutMs: applied.outMs });
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
    wave.addEventListener("wheel", wheel, { passive: false });
    wave.addEventListener("keydown", key);
    wave.addEventListener("focus", () => draw());
    wave.addEventListener("blur", () => draw());
    $("part-start").addEventListener("change", (e) => typedTime(e.target, (ms) => {
      setPart(ms, part.lengthMs);
      return true;
    }));
    $("part-end").addEventListener("change", (e) => typedTime(e.target, (ms) => {
      if (ms <= part.startMs) return false;
      setPart(part.startMs, ms - part.startMs);
      return true;
    }));
    $("part-length").addEventListener("change", (e) => typedTime(e.target, (ms) => {
      setPart(part.startMs, ms);
      return true;
    }));
    $("part-fade-in").addEventListener("change", (e) => typedFade(e.target, (ms) => setFades(ms, fades.outMs)));
    $("part-fade-out").addEventListener("change", (e) => typedFade(e.target, (ms) => setFades(fades.inMs, ms)));
    document.querySelectorAll("#part-presets button").forEach((button) => {
      button.addEventListener("click", () => {
        setPart(part.startMs, parseInt(button.value, 10));
        changed();
      });
    });
    $("part-play").addEventListener("click", toggleRing);
    $("part-make").addEventListener("click", make);
    $("part-cancel").addEventListener("click", cancel);
    $("part-retry").addEventListener("click", () => { Q.stopAllPolling(); start(work.source); });
    $("part-other").addEventListener("click", () => S.startOver());
  }

  S.steps.part = { wire, start, leave: () => ring.stop(), canChoose };
})();
