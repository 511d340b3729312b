/* The part step's limits: a part or a fade asked for is set to the nearest one
 * allowed, with a short note that says why ("" when it was allowed). */
const PartLimits = (() => {
  "use strict";

  const seconds = (ms) => ms / 1000 + " s";

  // limits: { durationMs, shortestMs, longestMs }; gives { startMs, lengthMs, note }.
  function part(startMs, lengthMs, { durationMs, shortestMs, longestMs }) {
    const shortest = Math.min(shortestMs, durationMs);
    const longest = Math.min(longestMs, durationMs);
    let note = "";
    let length = Math.round(lengthMs);
    if (length > longest) {
      length = longest;
      note = longest < longestMs ? "The song is only " + PartTime.format(durationMs) + " long"
        : "The longest part is " + seconds(longest);
    } else if (length < shortest) {
      length = shortest;
      note = "The shortest part is " + seconds(shortest);
    }
    let start = Math.round(startMs);
    if (start < 0) {
      start = 0;
      note = note || "The song starts at " + PartTime.format(0);
    } else if (start > durationMs - length) {
      start = durationMs - length;
      note = note || "The song ends at " + PartTime.format(durationMs);
    }
    return { startMs: start, lengthMs: length, note };
  }

  // A fade of ms within 0 to longestMs: { ms, note }.
  function fade(ms, longestMs) {
    if (ms > longestMs) return { ms: longestMs, note: "The longest fade is " + seconds(longestMs) };
    if (ms < 0) return { ms: 0, note: "The shortest fade is " + seconds(0) };
    return { ms, note: "" };
  }

  return { part, fade };
})();
