/* What the part step asks of the host before the part can be chosen: the copy
 * of a CD track, then the song's waveform, read so far while the job runs and
 * whole at its end. Reports through hooks; the controller shows it. */
const PartLoad = (() => {
  "use strict";

  const Q = Quillon;
  const readPollMs = 50;

  // hooks: { progress(percent), done(), failed(text, code) }
  function rip(ext, source, wav, hooks) {
    if (!ext.DTE_GrabAudioDataFromCD(String(source.drive), String(source.track), wav)) {
      hooks.failed("Copying from the CD could not be started.", "start");
      return;
    }
    Q.poll(() => ext.DTE_ripStatus, Q.ended("rip"), (v) => { if (v < 100) hooks.progress(v); },
      (v) => (v === 100 ? hooks.done() : hooks.failed(Q.ripError(v), v)));
  }

  // hooks: { soFar(data), done(data), failed(text, code) }; data as WaveData.parse gives it.
  function read(ext, input, points, hooks) {
    if (!ext.DTE_ReadWaveform(input, points)) {
      hooks.failed("The song could not be read.", "start");
      return;
    }
    const soFar = () => {
      const data = WaveData.parse(String(ext.DTE_wfResponse));
      if (data.durationMs > 0 && data.peaks.length) hooks.soFar(data);
    };
    Q.poll(() => ext.DTE_wfStatus, Q.ended("waveform"), (v) => { if (v < 100) soFar(); }, (v) => {
      const data = WaveData.parse(v === 100 ? String(ext.DTE_wfResponse) : "");
      if (v !== 100 || !(data.durationMs > 0))
        hooks.failed("This file cannot be read as music. It may be damaged, or not a sound file.", v);
      else
        hooks.done(data);
    }, readPollMs);
  }

  return { rip, read };
})();
