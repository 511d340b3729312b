/* Draws the part step's waveform from the state it is given: a time ruler, the
 * song's waveform in the visible span with the part, its fade ramps and handles,
 * the playhead, and a thin overview strip of the whole song below. */
const WaveView = (() => {
  "use strict";

  const rulerHeight = 16;
  const stripHeight = 14;
  const gap = 4;
  const handleReach = 8; // px either side of an edge that grab it

  // Where each band lies on a canvas of this height (canvas pixels).
  function bands(height) {
    const waveBottom = height - stripHeight - gap;
    return {
      ruler: [0, rulerHeight],
      wave: [rulerHeight, waveBottom],
      strip: [height - stripHeight, height]
    };
  }

  // Tick steps in ms; the ruler takes the first that leaves room for its labels.
  const tickSteps = [10, 20, 50, 100, 200, 500, 1000, 2000, 5000, 10000, 15000, 30000, 60000, 120000, 300000, 600000];

  function tickStep(msPerPx) {
    return tickSteps.find((step) => step / msPerPx >= 64) || tickSteps[tickSteps.length - 1];
  }

  // m:ss, with as many decimals as the step needs.
  function tickLabel(ms, step) {
    const decimals = step < 100 ? 2 : step < 1000 ? 1 : 0;
    const minutes = Math.floor(ms / 60000);
    const seconds = ((ms % 60000) / 1000).toFixed(decimals);
    return minutes + ":" + (parseFloat(seconds) < 10 ? "0" : "") + seconds;
  }

  function drawRuler(g, m, width, colour) {
    const { fromMs, msPerPx } = m.view;
    const step = tickStep(msPerPx);
    g.fillStyle = colour("--ruler");
    g.font = "10px sans-serif";
    g.textBaseline = "top";
    const first = Math.ceil(fromMs / (step / 2)) * (step / 2);
    for (let ms = first; ms <= fromMs + width * msPerPx; ms += step / 2) {
      const x = Math.round((ms - fromMs) / msPerPx) + 0.5;
      const major = Math.round(ms / step) * step === Math.round(ms);
      g.fillRect(x - 0.5, major ? rulerHeight - 6 : rulerHeight - 3, 1, major ? 6 : 3);
      if (major) g.fillText(tickLabel(Math.round(ms), step), Math.min(x + 2, width - 30), 1);
    }
  }

  function drawWave(g, m, width, [top, bottom], colour) {
    const { fromMs, msPerPx } = m.view;
    const xOf = (ms) => (ms - fromMs) / msPerPx;
    const from = xOf(m.part.startMs);
    const to = xOf(m.part.startMs + m.part.lengthMs);
    const middle = (top + bottom) / 2;
    const reach = (bottom - top) / 2 - 2;
    g.fillStyle = colour("--part");
    g.fillRect(from, top, to - from, bottom - top);
    const heights = WaveData.columns(m.data, m.points, fromMs, msPerPx, width);
    const inside = colour("--wave-in");
    const outside = colour("--wave-out");
    for (let x = 0; x < width; ++x) {
      if (Number.isNaN(heights[x])) continue;
      const half = Math.max(0.5, heights[x] * reach);
      g.fillStyle = x >= from && x < to ? inside : outside;
      g.fillRect(x, middle - half, 1, half * 2);
    }
    // The fades: the part's level rising from nothing and falling back to it.
    const fadeIn = xOf(m.part.startMs + m.fades.inMs);
    const fadeOut = xOf(m.part.startMs + m.part.lengthMs - m.fades.outMs);
    g.strokeStyle = colour("--fade");
    g.lineWidth = 1.5;
    g.beginPath();
    g.moveTo(from, bottom);
    g.lineTo(fadeIn, top + 1);
    g.moveTo(fadeOut, top + 1);
    g.lineTo(to, bottom);
    g.stroke();
    g.fillStyle = colour("--handle");
    // At the song's ends the handles stay whole inside the canvas.
    [from, to].forEach((x) => {
      g.fillRect(Math.min(Math.max(x - 1.5, 0), width - 3), top, 3, bottom - top);
      g.fillRect(Math.min(Math.max(x - 6, 0), width - 12), bottom - 8, 12, 8);
    });
    [fadeIn, fadeOut].forEach((x) => {
      g.beginPath();
      g.arc(x, top + 5, 4.5, 0, 2 * Math.PI);
      g.fill();
    });
    if (m.playheadMs !== undefined) {
      g.fillStyle = colour("--playhead");
      g.fillRect(xOf(m.playheadMs) - 1, top, 2, bottom - top);
    }
    if (m.focused) {
      g.strokeStyle = colour("--handle");
      g.lineWidth = 1;
      g.setLineDash([4, 3]);
      g.strokeRect(from + 2, top + 2, Math.max(0, to - from - 4), bottom - top - 4);
      g.setLineDash([]);
    }
  }

  // The whole song small, the part in it and a frame round the visible span.
  function drawStrip(g, m, width, [top, bottom], colour) {
    const msPerPx = m.data.durationMs / width;
    const heights = WaveData.columns(m.data, m.points, 0, msPerPx, width);
    g.fillStyle = colour("--strip");
    g.fillRect(0, top, width, bottom - top);
    const from = m.part.startMs / msPerPx;
    const to = (m.part.startMs + m.part.lengthMs) / msPerPx;
    g.fillStyle = colour("--part");
    g.fillRect(from, top, to - from, bottom - top);
    const inside = colour("--wave-in");
    const outside = colour("--wave-out");
    for (let x = 0; x < width; ++x) {
      if (Number.isNaN(heights[x])) continue;
      const h = Math.max(1, heights[x] * (bottom - top));
      g.fillStyle = x >= from && x < to ? inside : outside;
      g.fillRect(x, bottom - h, 1, h);
    }
    g.strokeStyle = colour("--handle");
    g.lineWidth = 1;
    const left = m.view.fromMs / msPerPx;
    g.strokeRect(left + 0.5, top + 0.5, Math.max(3, (width * m.view.msPerPx) / msPerPx) - 1, bottom - top - 1);
  }

  // What lies under canvas pixel (x, y): "strip", "fade-in", "fade-out", "start",
  // "end", "move" (inside the part) or "pan" (beside it).
  function hit(model, height, x, y) {
    const at = bands(height);
    if (y >= at.strip[0] - 2) return "strip";
    const { fromMs, msPerPx } = model.view;
    const xOf = (ms) => (ms - fromMs) / msPerPx;
    const start = xOf(model.part.startMs);
    const end = xOf(model.part.startMs + model.part.lengthMs);
    if (y <= at.wave[0] + 12) {
      if (Math.abs(x - (end - model.fades.outMs / msPerPx)) <= 6) return "fade-out";
      if (Math.abs(x - (start + model.fades.inMs / msPerPx)) <= 6) return "fade-in";
    }
    if (Math.abs(x - end) <= handleReach) return "end";
    if (Math.abs(x - start) <= handleReach) return "start";
    return x > start && x < end ? "move" : "pan";
  }

  // model: { data, points, view: { fromMs, msPerPx }, part: { startMs, lengthMs },
  //          fades: { inMs, outMs }, playheadMs?, focused }
  function draw(canvas, model) {
    const g = canvas.getContext("2d");
    const { width, height } = canvas;
    const style = getComputedStyle(canvas);
    const colour = (name) => style.getPropertyValue(name).trim();
    const at = bands(height);
    g.clearRect(0, 0, width, height);
    if (!(model.data.durationMs > 0)) return;
    drawRuler(g, model, width, colour);
    drawWave(g, model, width, at.wave, colour);
    drawStrip(g, model, width, at.strip, colour);
  }

  return { draw, hit };
})();
