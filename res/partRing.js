/* "Hear it ring": the part played three times in a row with its fades, as the
 * phone loops the clip, so the seam is heard before the clip is made. An
 * <audio> element plays the song itself and seeks back at the part's end. */
const PartRing = (() => {
  "use strict";

  const rounds = 3;

  // Extension to the type the engine is asked about (generated audio_types.js).
  const types = window.QUILLON_AUDIO_TYPES || {};

  function canPlay(path) {
    const type = types[(/\.([^./]+)$/.exec(path) || ["", ""])[1].toLowerCase()];
    try {
      return !!type && new Audio().canPlayType(type) !== "";
    } catch {
      return false;
    }
  }

  // The level of the clip at ms into a part of lengthMs with these fades.
  function gainAt(ms, lengthMs, fades) {
    const rise = fades.inMs > 0 ? ms / fades.inMs : 1;
    const fall = fades.outMs > 0 ? (lengthMs - ms) / fades.outMs : 1;
    return Math.min(1, Math.max(0, Math.min(rise, fall)));
  }

  // hooks: { onTick(playheadMs), onRound(round), onEnd(reason, round) }, reason "rang" or "stopped".
  function create(hooks) {
    let player = null;
    let timer = null;
    let ring = null; // { url, part, fades, round }

    const playing = () => ring !== null;

    function finish(reason) {
      clearInterval(timer);
      timer = null;
      const was = ring;
      ring = null;
      if (player) player.pause();
      if (was) hooks.onEnd(reason, was.round);
    }

    function tick() {
      const ms = player.currentTime * 1000 - ring.part.startMs;
      if (ms >= ring.part.lengthMs || player.ended) {
        if (ring.round === rounds) {
          finish("rang");
          return;
        }
        ring.round += 1;
        player.currentTime = ring.part.startMs / 1000;
        hooks.onRound(ring.round);
        return;
      }
      player.volume = gainAt(Math.max(0, ms), ring.part.lengthMs, ring.fades);
      hooks.onTick(ring.part.startMs + Math.max(0, ms));
    }

    // Starts from the part's first round; must run in a click or key handler.
    function start(url, part, fades) {
      if (!player) {
        player = new Audio();
        player.preload = "auto";
      }
      if (player.getAttribute("src") !== url) player.setAttribute("src", url);
      ring = { part: { ...part }, fades: { ...fades }, round: 1 };
      player.currentTime = part.startMs / 1000;
      player.volume = gainAt(0, part.lengthMs, fades);
      player.play().catch(() => finish("stopped"));
      clearInterval(timer);
      timer = setInterval(tick, 20);
    }

    return { start, stop: () => finish("stopped"), playing };
  }

  return { canPlay, create, rounds };
})();
