/* Step 4's "Your clips": every clip made in this run, newest first, one row each
 * with its part as times, its kind and its loudness, and buttons to hear it, save it and
 * put it on the phone's code (where the other ways to the phone then send it).
 * Draws what it is given and reports the button pressed with its clip. */
const ClipList = (() => {
  "use strict";

  const Q = Quillon;

  // "0:23.2–0:53.2": the part of the song a clip holds.
  const times = (part) => (part ? Q.formatMs(part.startMs) + "\u2013" + Q.formatMs(part.startMs + part.lengthMs)
    : "The whole song");

  // "−12 LUFS" for "-12"; "" when the loudness was not told.
  const loudness = (lufs) => (lufs ? lufs.replace("-", "\u2212") + " LUFS" : "");

  function button(text, way, row, describedBy, press) {
    const element = document.createElement("button");
    element.type = "button";
    element.textContent = text;
    element.dataset.way = way;
    element.dataset.row = String(row);
    element.setAttribute("aria-describedby", describedBy);
    element.addEventListener("click", press);
    return element;
  }

  // list: the <ul>; clips: as the controller keeps them, oldest first; shown: the one on
  // the code; playing: the one being heard, or null; canListen, canSave: whether those ways
  // exist; hooks: { listen(clip), save(clip), show(clip) }. The focus stays on the button it was on.
  function draw(list, { clips, shown, playing, canListen, canSave }, hooks) {
    const focused = list.contains(document.activeElement) ? { ...document.activeElement.dataset } : null;
    const rows = clips.map((clip, row) => {
      const item = document.createElement("li");
      item.className = "clip-row";
      const what = document.createElement("span");
      what.className = "clip-what";
      what.id = "clip-what-" + row;
      what.title = clip.label;
      const part = document.createElement("b");
      part.textContent = times(clip.part);
      const kind = Q.clipKind(clip.part ? clip.part.kind : "").label;
      what.append(part, " " + [kind, loudness(clip.loudness), clip.source.label].filter(Boolean).join(" \u00B7 "));
      const ways = document.createElement("span");
      ways.className = "clip-ways";
      if (canListen)
        ways.append(button(clip === playing ? "\u275A\u275A Pause" : "\u25B6 Listen", "listen", row, what.id,
          () => hooks.listen(clip)));
      if (canSave) ways.append(button("Save\u2026", "save", row, what.id, () => hooks.save(clip)));
      const show = button(clip === shown ? "On the code" : "Show its code", "show", row, what.id, () => hooks.show(clip));
      show.setAttribute("aria-pressed", String(clip === shown));
      ways.append(show);
      item.append(what, ways);
      return item;
    });
    list.replaceChildren(...rows.reverse());
    if (focused) {
      const again = list.querySelector('[data-row="' + focused.row + '"][data-way="' + focused.way + '"]');
      if (again) again.focus();
    }
  }

  return { draw, loudness };
})();
