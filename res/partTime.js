/* Times of the part step, typed and shown to the hundredth of a second. */
const PartTime = (() => {
  "use strict";

  // "m:ss.ss", "m:ss" or plain seconds ("38.5"); null for anything else.
  function parse(text) {
    const match = /^\s*(?:(\d{1,3}):)?(\d{1,4}(?:[.,]\d{0,3})?)\s*$/.exec(String(text));
    if (!match) return null;
    const seconds = parseFloat(match[2].replace(",", "."));
    if (match[1] !== undefined && seconds >= 60) return null;
    return Math.round(((match[1] ? parseInt(match[1], 10) * 60 : 0) + seconds) * 1000);
  }

  // m:ss.ss, hundredths rounded down so a shown end never passes the song's end.
  function format(ms) {
    const hundredths = Math.floor(Math.max(0, ms) / 10);
    const rest = hundredths % 6000;
    return Math.floor(hundredths / 6000) + ":" + (rest < 1000 ? "0" : "") + (rest / 100).toFixed(2);
  }

  // Seconds with one decimal, as the fade fields show them.
  const seconds = (ms) => (ms / 1000).toFixed(1);

  return { parse, format, seconds };
})();
