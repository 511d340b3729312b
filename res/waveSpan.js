/* The span of the song the waveform shows: where it starts and how many ms one
 * pixel holds, from the whole song down to 10 ms a pixel. */
const WaveSpan = (() => {
  "use strict";

  const finestMsPerPx = 10;
  const clamp = (value, low, high) => Math.min(Math.max(value, low), high);

  // width(): the canvas width in pixels.
  function create(width) {
    const span = { fromMs: 0, msPerPx: 1, durationMs: 0 };

    const fitMsPerPx = () => Math.max(span.durationMs, 1) / width();

    function set(fromMs, msPerPx) {
      span.msPerPx = clamp(msPerPx, Math.min(finestMsPerPx, fitMsPerPx()), fitMsPerPx());
      span.fromMs = clamp(fromMs, 0, span.durationMs - width() * span.msPerPx);
    }

    // The whole song of this length.
    function fit(durationMs) {
      span.durationMs = durationMs;
      set(0, fitMsPerPx());
    }

    // Zooms by factor keeping ms at x px; true when the zoom changed.
    function zoomAround(ms, x, factor) {
      const before = span.msPerPx;
      set(0, before * factor);
      set(ms - x * span.msPerPx, span.msPerPx);
      return span.msPerPx !== before;
    }

    // Scrolls just enough to bring ms into sight.
    function keep(ms) {
      const shownMs = width() * span.msPerPx;
      if (ms < span.fromMs) set(ms - shownMs * 0.1, span.msPerPx);
      else if (ms > span.fromMs + shownMs) set(ms - shownMs * 0.9, span.msPerPx);
    }

    const msAt = (x) => clamp(span.fromMs + x * span.msPerPx, 0, span.durationMs);
    const xOf = (ms) => (ms - span.fromMs) / span.msPerPx;
    const shows = (ms) => xOf(ms) >= 0 && xOf(ms) <= width();

    return Object.assign(span, { set, fit, zoomAround, keep, msAt, xOf, shows });
  }

  return { create };
})();
