/* Step 4, a phone plugged in: a button for each phone the desktop has mounted
 * (by MTP), which copies the clip straight into the phone's folder for its kind. */
(() => {
  "use strict";

  const S = Song;
  const Q = Quillon;
  const { $ } = Dom;
  const ext = Q.host();
  const has = (name) => typeof ext[name] !== "undefined";
  let listed = null; // the last listing drawn
  let look = null;   // the poll that notices phones plugged in or out

  // Where the phone's settings list a clip of each kind.
  const settingOf = { ringtone: "Phone ringtone", notification: "Default notification sound", alarm: "Default alarm sound" };

  function draw() {
    const text = String(ext.DTE_FindPluggedPhones());
    if (text === listed) return;
    listed = text;
    $("plugged-phones").textContent = "";
    const items = Q.splitList(text);
    for (let i = 0; i + 1 < items.length; i += 2) {
      const phone = { id: items[i], name: items[i + 1] };
      const button = document.createElement("button");
      button.type = "button";
      button.textContent = "Copy to " + phone.name;
      button.addEventListener("click", () => copy(phone, button));
      $("plugged-phones").appendChild(button);
    }
    Q.state("plugged " + items.length / 2);
  }

  function copy(phone, button) {
    const what = S.steps.send.clipToSend();
    if (!ext.DTE_CopyToPhone(phone.id, what.clip, what.name, what.kind)) return;
    button.disabled = true;
    S.steps.send.note("Copying to " + phone.name + "\u2026");
    Q.poll(() => Number(ext.DTE_cpStatus), Q.ended("copy"), null, (v) => {
      button.disabled = false;
      const [outcome, detail] = Q.splitList(String(ext.DTE_cpResponse));
      if (v === 100)
        S.steps.send.note("Copied to " + phone.name + ". On the phone: Settings \u203A Sound \u203A " +
          (settingOf[what.kind] || settingOf.ringtone) + ", and choose it.");
      else
        S.steps.send.note(outcome === "failed" ? detail : "The copy failed.", true);
      Q.state("copied " + v);
      button.focus();
    });
  }

  function enter() {
    listed = null;
    if (!has("DTE_FindPluggedPhones")) return;
    draw();
    look = Q.poll(draw, () => false, null, null, 2000);
  }

  function leave() {
    if (look) look.stop();
    look = null;
  }

  S.steps.sendPlugged = { view: "send", wire: () => {}, enter, leave, resume: () => { leave(); enter(); } };
})();
