// The pages' logic that needs no app, under Node's test runner: the part step's
// limits and its undo history, loaded as the page loads them.
"use strict";
const test = require("node:test");
const assert = require("node:assert");
const fs = require("node:fs");
const path = require("node:path");
const vm = require("node:vm");

// Classic scripts that share their modules as top-level constants, as on the page.
const page = vm.createContext({});
for (const file of ["partTime.js", "partLimits.js", "partHistory.js"])
  vm.runInContext(fs.readFileSync(path.join(__dirname, "..", "res", file), "utf8"), page, { filename: file });
const { PartLimits, PartHistory } = vm.runInContext("({ PartLimits, PartHistory })", page);

test("a part beyond a limit becomes the nearest one allowed, with its note", () => {
  const song = { durationMs: 90000, shortestMs: 1000, longestMs: 60000 };
  const cases = [
    { asked: [10000, 180000], kept: { startMs: 10000, lengthMs: 60000, note: "The longest part is 60 s" } },
    { asked: [0, 500], kept: { startMs: 0, lengthMs: 1000, note: "The shortest part is 1 s" } },
    { asked: [-2000, 30000], kept: { startMs: 0, lengthMs: 30000, note: "The song starts at 0:00.00" } },
    { asked: [80000, 30000], kept: { startMs: 60000, lengthMs: 30000, note: "The song ends at 1:30.00" } },
    { asked: [5000.4, 29999.6], kept: { startMs: 5000, lengthMs: 30000, note: "" } },
    { asked: [0, 60000], durationMs: 45000, kept: { startMs: 0, lengthMs: 45000, note: "The song is only 0:45.00 long" } }
  ];
  for (const { asked, durationMs, kept } of cases)
    assert.deepStrictEqual({ ...PartLimits.part(...asked, { ...song, durationMs: durationMs || song.durationMs }) }, kept);
  assert.deepStrictEqual({ ...PartLimits.fade(7000, 5000) }, { ms: 5000, note: "The longest fade is 5 s" });
  assert.deepStrictEqual({ ...PartLimits.fade(-100, 5000) }, { ms: 0, note: "The shortest fade is 0 s" });
  assert.deepStrictEqual({ ...PartLimits.fade(1500, 5000) }, { ms: 1500, note: "" });
});

const at = (startMs) => ({ kind: "ringtone", startMs, lengthMs: 30000 });

test("undo goes back through every change, redo forward until a new change", () => {
  const history = PartHistory.create(100);
  history.reset(at(0));
  history.note(at(1000));
  history.note(at(1000));  // no change
  history.note(at(2000));
  const walked = [history.undo(), history.undo(), history.undo(), history.redo()];
  assert.deepStrictEqual(walked.map((s) => s && s.startMs), [1000, 0, null, 1000]);
  history.note(at(5000));
  assert.strictEqual(history.redo(), null);
  assert.strictEqual(history.undo().startMs, 1000);
});

test("a burst of one key is one change", () => {
  const history = PartHistory.create(100);
  history.reset(at(0));
  [[1000, "ArrowRight", 0], [2000, "ArrowRight", 300], [3000, "ArrowRight", 600], [4000, "ArrowRight", 2000],
    [5000, "ArrowLeft", 2100]].forEach(([ms, key, when]) => history.note(at(ms), key, when));
  const walked = [history.undo(), history.undo(), history.undo(), history.undo()];
  assert.deepStrictEqual(walked.map((s) => s && s.startMs), [4000, 3000, 0, null]);
});

test("undo reaches back as many changes as its depth", () => {
  const history = PartHistory.create(100);
  history.reset(at(0));
  for (let i = 1; i <= 150; ++i) history.note(at(i * 10));
  let undone = 0;
  while (history.undo()) ++undone;
  assert.strictEqual(undone, 100);
});
