/* The part step's undo and redo: the states the part went through, one for each
 * finished change, as many back as the depth asked for. Repeats of one key in
 * quick succession make one change, so a burst of arrows is undone at once. */
const PartHistory = (() => {
  "use strict";

  const burstMs = 1000;
  const same = (a, b) => Object.keys(a).every((key) => a[key] === b[key]);

  // depth: how many changes undo reaches back.
  function create(depth) {
    let states = [];
    let at = -1;
    let last = { group: "", ms: -Infinity };

    // The state to start from, with nothing to undo or redo.
    function reset(state) {
      states = [{ ...state }];
      at = 0;
      last = { group: "", ms: -Infinity };
    }

    // A finished change that left state; group names what a burst repeats (a key),
    // nowMs is when it happened. Undone changes can no longer be redone.
    function note(state, group = "", nowMs = 0) {
      if (at < 0 || same(states[at], state)) return;
      const burst = group !== "" && group === last.group && nowMs - last.ms < burstMs && at > 0 &&
        at === states.length - 1;
      last = { group, ms: nowMs };
      states = states.slice(0, at + 1);
      if (burst) states[at] = { ...state };
      else states.push({ ...state });
      if (states.length > depth + 1) states.shift();
      at = states.length - 1;
    }

    // The state before the last change (or after the last undone one), or null.
    const undo = () => (at > 0 ? { ...states[--at] } : null);
    const redo = () => (at < states.length - 1 ? { ...states[++at] } : null);

    return { reset, note, undo, redo, canUndo: () => at > 0, canRedo: () => at < states.length - 1 };
  }

  return { create };
})();
