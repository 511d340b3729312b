/* The waveform job's answer and what the part step reads from it: the song's
 * length, the suggested starts, the overview peaks, the fine energy series and
 * where a notification sound would start. */
const WaveData = (() => {
  "use strict";

  const numbers = (text) => (text ? text.split(",").map((v) => parseInt(v, 10) || 0) : []);
  const top = (series) => series.reduce((high, v) => (v > high ? v : high), 1);

  // "durationMs:::s1,s2,s3:::p1,...,pN[:::fineStepMs:::f1,...,fM[:::attackMs]]"; an
  // older host gives one suggestion and no fine series, or no attack (-1 here).
  function parse(text) {
    const fields = String(text || "").split(":::");
    const peaks = numbers(fields[2]);
    const fine = numbers(fields[4]);
    return {
      durationMs: parseInt(fields[0], 10) || 0,
      suggestions: numbers(fields[1]).filter((ms) => ms >= 0).slice(0, 3),
      peaks,
      fineStepMs: parseInt(fields[3], 10) || 0,
      fine,
      attackMs: fields[5] ? parseInt(fields[5], 10) : -1,
      // Each series is drawn against its own loudest value, so the picture does
      // not depend on the scale the host counts in.
      peakTop: top(peaks),
      fineTop: top(fine)
    };
  }

  // How far the song has been read, in ms of the song.
  function readMs(data, points) {
    return points > 0 ? Math.min(data.durationMs, (data.peaks.length / points) * data.durationMs) : data.durationMs;
  }

  // Heights (0..1) of width columns from fromMs at msPerPx; NaN where nothing is
  // read yet. Draws from the fine series when the overview is coarser than a
  // column and the fine series is there.
  function columns(data, points, fromMs, msPerPx, width) {
    const out = new Float32Array(width).fill(NaN);
    const overviewMs = data.durationMs / Math.max(1, points);
    const useFine = data.fine.length > 0 && data.fineStepMs > 0 && overviewMs > msPerPx;
    const series = useFine ? data.fine : data.peaks;
    const stepMs = useFine ? data.fineStepMs : overviewMs;
    const high = useFine ? data.fineTop : data.peakTop;
    if (!(stepMs > 0)) return out;
    for (let x = 0; x < width; ++x) {
      const first = Math.floor((fromMs + x * msPerPx) / stepMs);
      const last = Math.max(first, Math.ceil((fromMs + (x + 1) * msPerPx) / stepMs) - 1);
      if (first >= series.length || first < 0) continue;
      let loudest = 0;
      for (let i = first; i <= last && i < series.length; ++i) if (series[i] > loudest) loudest = series[i];
      out[x] = loudest / high;
    }
    return out;
  }

  // The quietest instant within reachMs of ms by the fine series (the start of
  // its quietest window, the nearest of equals); ms itself without the series.
  function quietest(data, ms, reachMs) {
    const step = data.fineStepMs;
    if (!data.fine.length || !(step > 0)) return ms;
    const first = Math.max(0, Math.floor((ms - reachMs) / step));
    const last = Math.min(data.fine.length - 1, Math.floor((ms + reachMs) / step));
    let best = -1;
    for (let i = first; i <= last; ++i) {
      const better = best < 0 || data.fine[i] < data.fine[best] ||
        (data.fine[i] === data.fine[best] && Math.abs(i * step - ms) < Math.abs(best * step - ms));
      if (better) best = i;
    }
    return best < 0 ? ms : Math.min(data.durationMs, best * step);
  }

  return { parse, readMs, columns, quietest };
})();
