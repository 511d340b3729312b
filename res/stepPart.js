/* Step 2: choose the part that rings. This file owns the part step's own
 * state (the song's waveform, the kind of sound, the part, its fades, the
 * visible span, their undo history), turns keys, fields and buttons into
 * changes of it and hands the chosen part to the page's controller; PartLoad
 * reads the song, PartPointer handles the pointer, WaveView draws, PartRing
 * plays, PartLimits keeps the part within bounds and PartHistory remembers its
 * changes. A CD track is copied first, so the part is chosen on the copy. */
(() => {
  "use strict";

  const S = Song;
  const Q = Quillon;
  const { $, message, stage, busy } = Dom;
  const T = PartTime;
  const ext = Q.host();

  // Each kind of sound with its limits and presets, as the host checks them; a ringtone first.
  const kinds = window.QUILLON_CLIP_KINDS;
  const shortestMs = window.QUILLON_SHORTEST_PART_MS;
  // The longest part whose clip iPhones take as a ringtone (its file is just under 30 s).
  const iphoneLongestMs = window.QUILLON_IPHONE_LONGEST_MS;
  const fineKeysMsPerPx = 20;  // from here in, Shift+arrows move by 0.01 s
  const historyDepth = 200;

  // What the waveform job gave (points: the overview peaks asked for) and what the user chose; times in ms.
  // source: the picked music the waveform is of, so that coming back to this step finds it read.
  const song = { source: null, input: "", data: WaveData.parse(""), points: 0, ready: false, drawn: false };
  const part = { kind: kinds[0].id, startMs: 0, lengthMs: kinds[0].lengthMs };
  const fades = { inMs: kinds[0].fadeInMs, outMs: kinds[0].fadeOutMs };
  const kind = () => kinds.find((k) => k.id === part.kind);
  const span = WaveSpan.create(() => $("wave").width);
  const history = PartHistory.create(historyDepth);
  let playheadMs;
  let limitNote = ""; // why the last change asked for was not taken as it was

  const ring = PartRing.create({
    onTick: (ms) => {
      playheadMs = ms;
      span.keep(ms);
      draw();
    },
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

  const durationMs = () => song.data.durationMs;

  // The longest part this song allows: the kind's longest, or the whole of a shorter song.
  const longest = () => Math.min(kind().longestMs, durationMs());

  // Keeps the part inside the song and within the clip job's limits, saying so
  // unless quiet (a part the step chose itself).
  function setPart(startMs, lengthMs, quiet = false) {
    const kept = PartLimits.part(startMs, lengthMs,
      { durationMs: durationMs(), shortestMs, longestMs: kind().longestMs });
    part.startMs = kept.startMs;
    part.lengthMs = kept.lengthMs;
    limitNote = quiet ? "" : kept.note;
    render();
  }

  function setFades(inMs, outMs) {
    const fadeIn = PartLimits.fade(inMs, kind().longestFadeMs);
    const fadeOut = PartLimits.fade(outMs, kind().longestFadeMs);
    fades.inMs = fadeIn.ms;
    fades.outMs = fadeOut.ms;
    limitNote = fadeIn.note || fadeOut.note;
    render();
  }

  // Where the kind's part starts: a ringtone on the suggested parts, an alarm so
  // that its swell ends where they begin, a notification on the strongest attack.
  function suggestions() {
    const starts = song.data.suggestions;
    if (part.kind === "alarm") return starts.map((ms) => Math.max(0, ms - kind().fadeInMs));
    if (part.kind === "notification") return [song.data.attackMs >= 0 ? song.data.attackMs : starts[0] || 0];
    return starts;
  }

  // The fades the clip gets: the chosen ones, shortened together when the part is
  // too short to hold both.
  function appliedFades() {
    const sum = fades.inMs + fades.outMs;
    if (sum <= part.lengthMs) return { ...fades };
    const scale = part.lengthMs / sum;
    return { inMs: Math.floor((fades.inMs * scale) / 10) * 10, outMs: Math.floor((fades.outMs * scale) / 10) * 10 };
  }

  const model = () => ({
    data: song.data, points: song.points, view: span, part, fades: appliedFades(), playheadMs,
    focused: document.activeElement === $("wave")
  });

  const draw = () => WaveView.draw($("wave"), model());

  /* ---- loading: copy the CD track, then read the waveform ---- */

  // Whether the step can be shown again as it was left: its song read and long
  // enough for a part (a shorter one is made whole, which removes a CD track's copy).
  const canReturn = () => song.ready && durationMs() >= shortestMs;

  function enter(given) {
    const picked = given.source;
    ring.stop();
    message("part-error", "");
    if (picked === song.source && canReturn()) {
      editAgain();
      return;
    }
    song.source = picked;
    song.ready = false;
    $("part-source").textContent = picked.label;
    showEditor(false);
    $("stage-rip").hidden = picked.kind !== "cd";
    $("stage-read").hidden = !canChoose();
    $("stage-read").querySelector(".mark").setAttribute("data-n", picked.kind === "cd" ? "2" : "1");
    ["stage-rip", "stage-read"].forEach((id) => stage(id, "pending", "Waiting"));
    Dom.buttons(actions("loading"), "part-cancel");
    if (picked.kind === "cd") rip(picked); else read(picked.path);
  }

  // The buttons each mode shows: loading, failed (copying, which a retry may mend), unreadable, editing.
  const actions = (mode) => ({
    "part-undo": mode === "editing",
    "part-redo": mode === "editing",
    "part-cancel": mode === "loading",
    "part-other": mode !== "loading",
    "part-retry": mode === "failed",
    "part-play": mode === "editing" && PartRing.canPlay(song.input),
    "part-make": mode === "editing"
  });

  function failed(stageId, text, code) {
    const ripping = stageId === "stage-rip";
    showEditor(false);
    S.fail(stageId, "part-error", text, " " + code, actions(ripping ? "failed" : "unreadable"),
      ripping ? "part-retry" : "part-other");
  }

  function rip(source) {
    // Named as the track is, since a clip without a title tag is titled by its song's file name.
    const wav = Q.tempPath("Track " + (Number(source.track) + 1) + ".wav");
    Q.state("ripping");
    stage("stage-rip", "active", "0 %", 0);
    PartLoad.rip(ext, source, wav, {
      progress: (v) => stage("stage-rip", "active", v + " %", v),
      done: () => {
        stage("stage-rip", "done", "Done");
        read(wav);
      },
      failed: (text, code) => failed("stage-rip", text, code)
    });
  }

  function read(input) {
    song.input = input;
    if (!canChoose()) {
      S.partChosen(input, null);
      return;
    }
    Q.state("reading");
    busy("stage-read", "Working…");
    // As many overview points as the waveform will be wide: the loading rows
    // stand where it will be shown, and it has a border of a pixel each side.
    song.points = Math.max($("part-loading").clientWidth - 2, 1);
    song.ready = false;
    song.drawn = false;
    PartLoad.read(ext, input, song.points, {
      // While the song is read, the waveform fills from the left with what is read so far.
      soFar: (data) => {
        showSong(data);
        $("part-note").textContent = "Reading the song\u2026 " +
          Math.floor((100 * data.peaks.length) / song.points) + " %";
      },
      done: (data) => {
        stage("stage-read", "done", "Done");
        showSong(data);
        edit();
      },
      failed: (text, code) => failed("stage-read", text, code)
    });
  }

  function showSong(data) {
    const first = !song.drawn;
    song.data = data;
    if (first) {
      song.drawn = true;
      span.fit(data.durationMs);
      setPart(0, kind().lengthMs, true);
      $("part-suggestions").replaceChildren();
      showEditor(true);
      enableEditor(false);
    }
    draw();
    if (first) Q.state("wave-first " + data.peaks.length + " of " + song.points);
  }

  function showEditor(on) {
    $("part-loading").hidden = on;
    $("part-editor").hidden = !on;
    $("part-kinds").hidden = !on;
  }

  function enableEditor(on) {
    song.ready = on;
    document.querySelectorAll("#part-editor input, #part-editor button, #part-kinds button")
      .forEach((e) => { e.disabled = !on; });
  }

  /* ---- choosing ---- */

  function edit() {
    span.fit(durationMs());
    enableEditor(true);
    suggest();
    history.reset(snapshot());
    Dom.buttons(actions("editing"));
    $("wave").focus();
    changed();
  }

  const notes = {
    ringtone: (several) => several ? "Pick a suggestion, or drag the part or its edges."
      : "The liveliest 30 seconds are chosen. Drag the part or its edges to change it.",
    notification: () => "It starts on the strongest beat of the liveliest part. Drag the part or its edges to change it.",
    alarm: () => "It swells for " + kind().fadeInMs / 1000 + " s into the liveliest part. Drag it or its edges to " +
      "change it."
  };

  // The kind's suggested parts as chips, and the first of them chosen with the kind's length and fades.
  function suggest() {
    fades.inMs = kind().fadeInMs;
    fades.outMs = kind().fadeOutMs;
    const starts = showKindChoices();
    setPart(starts[0] || 0, kind().lengthMs, true);
    span.keep(part.startMs);
  }

  // The kind's suggestion chips, note and presets; gives the suggested starts.
  function showKindChoices() {
    const starts = suggestions();
    const chips = starts.map((ms, i) => {
      const chip = document.createElement("button");
      chip.type = "button";
      chip.id = "part-suggestion-" + (i + 1);
      chip.textContent = "Suggested " + (i + 1);
      chip.title = "From " + T.format(ms);
      chip.addEventListener("click", () => choose(i));
      return chip;
    });
    $("part-suggestions").replaceChildren(...chips);
    const whole = durationMs() <= kind().lengthMs;
    $("part-note").textContent = whole ? "The song is " + T.format(durationMs()) + " long, so all of it is chosen."
      : notes[part.kind](chips.length > 1);
    renderPresets();
    return starts;
  }

  function chooseKind(id) {
    if (!song.ready || id === part.kind) return;
    part.kind = id;
    suggest();
    if (ring.playing()) startRing();
    Q.state("kind " + id + " " + part.startMs + " " + part.lengthMs + " " + fades.inMs + " " + fades.outMs);
    changed();
  }

  /* ---- undo and redo ---- */

  const snapshot = () => ({
    kind: part.kind, startMs: part.startMs, lengthMs: part.lengthMs, fadeInMs: fades.inMs, fadeOutMs: fades.outMs
  });

  // Puts back a state of the history; how, for the watcher: "undo" or "redo".
  function restore(state, how) {
    if (!state) return;
    const kindChanged = state.kind !== part.kind;
    part.kind = state.kind;
    fades.inMs = state.fadeInMs;
    fades.outMs = state.fadeOutMs;
    if (kindChanged) showKindChoices();
    setPart(state.startMs, state.lengthMs, true);
    span.keep(part.startMs);
    if (ring.playing()) startRing();
    Q.state(how + " " + part.kind + " " + part.startMs + " " + part.lengthMs + " " + fades.inMs + " " + fades.outMs);
  }

  const undo = () => restore(history.undo(), "undo");
  const redo = () => restore(history.redo(), "redo");

  // Ctrl+Z undoes, Ctrl+Shift+Z and Ctrl+Y redo, anywhere on the step; in a field
  // being typed into, Ctrl+Z first puts back what it showed.
  function historyKey(event) {
    if (S.showing() !== "part" || !song.ready || !event.ctrlKey || event.altKey || event.metaKey) return;
    const letter = event.key.toLowerCase();
    const field = event.target.closest && event.target.closest("#part-editor input");
    if (letter === "z" && !event.shiftKey && field && field.value !== field.dataset.shown) {
      field.value = field.dataset.shown;
      field.select();
    } else if (letter === "z" && !event.shiftKey) {
      undo();
    } else if (letter === "y" || (letter === "z" && event.shiftKey)) {
      redo();
    } else {
      return;
    }
    event.preventDefault();
  }

  // Back from a later step: the song, the part and its fades as they were left.
  function editAgain() {
    showEditor(true);
    Dom.buttons(actions("editing"));
    render();
    $("wave").focus();
    changed();
  }

  function choose(index) {
    setPart(suggestions()[index], part.lengthMs);
    span.keep(part.startMs);
    changed();
    Q.state("suggestion " + (index + 1) + " " + part.startMs);
  }

  function render() {
    const end = part.startMs + part.lengthMs;
    const shown = {
      "part-start": T.format(part.startMs), "part-end": T.format(end), "part-length": T.format(part.lengthMs),
      "part-fade-in": T.seconds(fades.inMs), "part-fade-out": T.seconds(fades.outMs)
    };
    Object.entries(shown).forEach(([id, value]) => {
      $(id).value = value;
      $(id).dataset.shown = value;
    });
    $("part-limit").textContent = limitNote;
    $("part-undo").disabled = !song.ready || !history.canUndo();
    $("part-redo").disabled = !song.ready || !history.canRedo();
    ["part-fade-in", "part-fade-out"].forEach((id) => { $(id).max = String(kind().longestFadeMs / 1000); });
    document.querySelectorAll("#part-kinds button").forEach((button) => {
      button.setAttribute("aria-pressed", String(button.value === part.kind));
    });
    document.querySelectorAll("#part-presets button").forEach((button) => {
      const preset = parseInt(button.value, 10);
      button.setAttribute("aria-pressed", String(preset === part.lengthMs));
      button.disabled = !song.ready || (preset > longest() && durationMs() > 0);
    });
    const starts = suggestions();
    $("part-suggestions").querySelectorAll("button").forEach((chip, i) => {
      chip.setAttribute("aria-pressed", String(starts[i] === part.startMs));
    });
    // A part of up to 30 s makes a file just under 30 s, which iPhones take.
    $("part-iphone").textContent = part.lengthMs > iphoneLongestMs ? "Too long for iPhones (under 30 s); fine for Android" : "";
    const wave = $("wave");
    wave.setAttribute("aria-valuenow", String(part.startMs / 1000));
    wave.setAttribute("aria-valuemax", String(Math.max(0, durationMs() - part.lengthMs) / 1000));
    wave.setAttribute("aria-valuetext", "From " + T.format(part.startMs) + " to " + T.format(end) +
      " of " + T.format(durationMs()));
    draw();
  }

  // A finished change of the part, one step of the history (a burst of one key,
  // named by group, is one): a ring in progress starts again from the new part.
  function changed(group = "") {
    if (ring.playing()) startRing();
    remember(group);
    Q.state("part " + part.startMs + " " + part.lengthMs + " of " + durationMs());
  }

  function fadesChanged() {
    if (ring.playing()) startRing();
    remember("");
    const applied = appliedFades();
    Q.state("fades " + applied.inMs + " " + applied.outMs);
  }

  function remember(group) {
    history.note(snapshot(), group, performance.now());
    render();
  }

  function zoomed() {
    Q.state("zoom " + Math.round(span.msPerPx));
    draw();
  }

  /* ---- keyboard and fields ---- */

  // By key the zoom keeps the part's start in place, or brings it to the middle when out of sight.
  function zoomByKey(factor) {
    const x = span.shows(part.startMs) ? span.xOf(part.startMs) : $("wave").width / 2;
    if (span.zoomAround(part.startMs, x, factor)) zoomed();
  }

  function key(event) {
    if (!song.ready || event.ctrlKey || event.altKey || event.metaKey) return;
    const step = event.shiftKey ? (span.msPerPx <= fineKeysMsPerPx ? 10 : 100) : 1000;
    const zooms = { "+": 0.5, "=": 0.5, "-": 2, "\u2212": 2, "_": 2, "0": Infinity };
    const moves = {
      ArrowLeft: () => setPart(part.startMs - step, part.lengthMs),
      ArrowRight: () => setPart(part.startMs + step, part.lengthMs),
      ArrowDown: () => setPart(part.startMs, part.lengthMs - step),
      ArrowUp: () => setPart(part.startMs, part.lengthMs + step),
      Home: () => setPart(0, part.lengthMs),
      End: () => setPart(durationMs(), part.lengthMs)
    };
    if (moves[event.key]) {
      moves[event.key]();
      span.keep(/Down|Up/.test(event.key) ? part.startMs + part.lengthMs : part.startMs);
      changed(event.key + (event.shiftKey ? " fine" : ""));
    } else if (zooms[event.key]) {
      zoomByKey(zooms[event.key]);
    } else if (event.key === " ") {
      toggleRing();
    } else if (event.key === "Enter") {
      make();
    } else {
      return;
    }
    event.preventDefault();
  }

  function typedTime(field, apply) {
    const ms = T.parse(field.value);
    if (ms === null || !apply(ms)) {
      message("part-error", "Please write a time as m:ss.ss, for example 1:05.25, or in seconds, for example 38.5.");
      render();
      field.select();
      return;
    }
    message("part-error", "");
    span.keep(part.startMs);
    changed();
  }

  function typedFade(field, apply) {
    const seconds = parseFloat(field.value.replace(",", "."));
    if (Number.isNaN(seconds)) {
      message("part-error", "Please write a fade in seconds, for example 1.5.");
      render();
      field.select();
      return;
    }
    message("part-error", "");
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
      S.partChosen(song.input, null);
      return;
    }
    const applied = appliedFades();
    S.partChosen(song.input, {
      kind: part.kind, startMs: part.startMs, lengthMs: part.lengthMs, fadeInMs: applied.inMs, fadeOutMs: applied.outMs
    });
  }

  // The kind's length presets, "15 s" and so on.
  function renderPresets() {
    const buttons = kind().presetsMs.map((ms) => {
      const button = document.createElement("button");
      button.type = "button";
      button.value = String(ms);
      button.textContent = ms / 1000 + " s";
      button.disabled = !song.ready;
      button.addEventListener("click", () => {
        setPart(part.startMs, ms);
        changed();
      });
      return button;
    });
    $("part-presets").replaceChildren(...buttons);
  }

  function renderKinds() {
    const buttons = kinds.map((k) => {
      const button = document.createElement("button");
      button.type = "button";
      button.id = "part-kind-" + k.id;
      button.value = k.id;
      button.textContent = k.label;
      button.addEventListener("click", () => chooseKind(k.id));
      return button;
    });
    $("part-kinds").replaceChildren(...buttons);
  }

  // The canvas draws at the size it is shown at, so a wider window shows more of
  // the song; the same span of it stays in view.
  function fitCanvas() {
    const wave = $("wave");
    const width = wave.clientWidth;
    const height = wave.clientHeight;
    if (!width || !height || (width === wave.width && height === wave.height)) return;
    const shownMs = wave.width * span.msPerPx;
    wave.width = width;
    wave.height = height;
    if (span.durationMs > 0) span.set(span.fromMs, shownMs / width);
    draw();
  }

  function wire() {
    const wave = $("wave");
    new ResizeObserver(fitCanvas).observe(wave);
    // Its colours come from the page's palette, which follows the desktop's theme.
    matchMedia("(prefers-color-scheme: dark)").addEventListener("change", draw);
    PartPointer.wire(wave, {
      ready: () => song.ready, model, span, part, fades, setPart, setFades, changed, fadesChanged, zoomed, draw
    });
    wave.addEventListener("keydown", key);
    wave.addEventListener("focus", draw);
    wave.addEventListener("blur", draw);
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
    renderKinds();
    renderPresets();
    // A button that has nothing more to do hands the focus to the waveform.
    [["part-undo", undo], ["part-redo", redo]].forEach(([id, walk]) => $(id).addEventListener("click", () => {
      walk();
      if ($(id).disabled) $("wave").focus();
    }));
    document.addEventListener("keydown", historyKey);
    $("part-play").addEventListener("click", toggleRing);
    $("part-make").addEventListener("click", make);
    $("part-cancel").addEventListener("click", S.cancel);
    $("part-retry").addEventListener("click", S.retry);
    $("part-other").addEventListener("click", () => S.startOver());
  }

  S.steps.part = { view: "part", wire, enter, leave: () => ring.stop(), canReturn };
})();
