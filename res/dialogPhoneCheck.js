/* The phone check: the phone and network chosen, what that phone needs to use
 * the clip, and Save (stores them and hands them to the caller as
 * "phone:::network") or Cancel. */
(() => {
  "use strict";

  const Q = Quillon;
  const ext = Q.host();
  const phone = document.getElementById("phone");
  const network = document.getElementById("network");
  const verdictText = document.getElementById("verdict");
  const save = document.getElementById("save");

  // The caller may hand in "phone:::network"; otherwise the stored choice counts.
  const given = ext ? Q.splitList(String(ext.DTE_GetDialogArgument())) : [];
  Q.fillSelect(phone, Q.phones, Q.findById(Q.phones, given[0]) ? given[0] : Q.storedChoice("DTE_GetTEPhone", Q.phones),
    "Choose your phone…");
  Q.fillSelect(network, Q.networks,
    Q.findById(Q.networks, given[1]) ? given[1] : Q.storedChoice("DTE_GetTENetwork", Q.networks), "Choose a network…");

  // What each kind of phone needs to use the clip; the network never decides it.
  const verdicts = {
    android: { className: "success", text: "Good: any recent Android phone takes the clip as a ringtone, " +
      "notification sound or alarm sound." },
    iphone: { className: "info", text: "An iPhone with iOS 26 or later takes the clip as it is (Use as Ringtone); " +
      "on an older one, make it a ringtone in GarageBand. Either way it must be under 30 seconds." },
    "feature-mp3": { className: "info", text: "This phone can use the clip if it lets you choose a ringtone " +
      "from its own files." },
    "feature-basic": { className: "error", text: "This phone cannot play MP3 ringtones, so the clip would not " +
      "work on it." }
  };

  function judge() {
    const chosen = Q.findById(Q.phones, phone.value);
    const verdict = chosen ? verdicts[chosen.id] : { className: "info", text: "Choose your phone." };
    verdictText.className = "message " + verdict.className;
    verdictText.textContent = verdict.text + (chosen && !network.value ? " Choose its network for the online service." : "");
    save.disabled = !(chosen && network.value);
  }

  phone.addEventListener("change", judge);
  network.addEventListener("change", judge);
  save.addEventListener("click", () => {
    if (!ext || save.disabled) return;
    ext.DTE_SetTEPhone(phone.value);
    ext.DTE_SetTENetwork(network.value);
    ext.DTE_SetTENVCheck("1");
    ext.DTE_SetDialogRetValue(phone.value + ":::" + network.value);
    Q.state("phone-check saved " + phone.value + " " + network.value);
    ext.DTE_CloseWindow();
  });
  // Leaving without saving hands the caller nothing new.
  document.getElementById("cancel").addEventListener("click", () => {
    if (ext) ext.DTE_SetDialogRetValue("");
    if (ext) ext.DTE_CloseWindow();
  });
  judge();
  (phone.value ? network : phone).focus();
  if (phone.value && network.value) save.focus();
  Q.state("dialog " + document.title);
})();
