/* The phone check: the phone and network chosen, a verdict on them, and Save
 * (stores them and hands them to the caller as "phone:::network") or Cancel. */
(() => {
  "use strict";

  const Q = Quillon;
  const ext = Q.host();
  const phone = document.getElementById("phone");
  const network = document.getElementById("network");
  const verdict = document.getElementById("verdict");
  const save = document.getElementById("save");

  // The caller may hand in "phone:::network"; otherwise the stored choice counts.
  const given = ext ? Q.splitList(String(ext.DTE_GetDialogArgument())) : [];
  Q.fillSelect(phone, Q.phones, Q.findById(Q.phones, given[0]) ? given[0] : Q.storedChoice("DTE_GetTEPhone", Q.phones),
    "Choose your phone…");
  Q.fillSelect(network, Q.networks,
    Q.findById(Q.networks, given[1]) ? given[1] : Q.storedChoice("DTE_GetTENetwork", Q.networks), "Choose a network…");

  function judge() {
    const chosen = Q.findById(Q.phones, phone.value);
    const complete = chosen && network.value;
    verdict.className = "message " + (!complete ? "info" : chosen.mp3 ? "success" : "error");
    verdict.textContent = !chosen ? "Choose your phone and network." :
      !chosen.mp3 ? "This phone cannot play MP3 ringtones, so the clip would not work on it." :
      !network.value ? "Good: this phone plays MP3 ringtones. Now choose its network." :
      "Good news: your phone can use the clip on " + Q.findById(Q.networks, network.value).label + ".";
    save.disabled = !complete;
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
