/* Step 4, by Bluetooth: a button for each paired phone that takes files, the
 * sending's progress with a way to stop it, and what came of it. Any Android
 * phone takes a file this way with no app. */
(() => {
  "use strict";

  const S = Song;
  const Q = Quillon;
  const { $ } = Dom;
  const ext = Q.host();
  const has = (name) => typeof ext[name] !== "undefined";
  let sending = null; // the phone being sent to
  let watch = null;

  const failures = {
    201: () => "Bluetooth is off on this computer. Turn it on, then try again.",
    202: () => "This computer cannot send files by Bluetooth: its Bluetooth file service (obex) is not installed " +
      "or not running.",
    203: (name) => name + " is out of reach. Bring it closer, check that its Bluetooth is on, then try again.",
    204: (name) => name + " did not take the file. Accept it on the phone when it asks, then try again.",
    205: () => "Sending by Bluetooth was stopped."
  };

  function buttons() {
    return Array.from($("bt-phones").querySelectorAll("button"));
  }

  function find() {
    $("bt-phones").textContent = "";
    if (!has("DTE_FindBluetoothPhones") || !ext.DTE_FindBluetoothPhones()) return;
    Q.poll(() => Number(ext.DTE_blStatus), Q.ended("bluetoothPhones"), null, (v) => {
      const items = v === 100 ? Q.splitList(String(ext.DTE_blResponse)) : [];
      for (let i = 0; i + 1 < items.length; i += 2) {
        const phone = { id: items[i], name: items[i + 1] };
        const button = document.createElement("button");
        button.type = "button";
        button.textContent = "Send by Bluetooth to " + phone.name;
        button.addEventListener("click", () => send(phone));
        $("bt-phones").appendChild(button);
      }
      Q.state("bluetooth " + items.length / 2);
    }, 300);
  }

  function send(phone) {
    const what = S.steps.send.clipToSend();
    if (sending || !ext.DTE_SendByBluetooth(phone.id, what.clip, what.name)) {
      if (!sending) S.steps.send.note(failures[204](phone.name), true);
      return;
    }
    sending = phone;
    buttons().forEach((button) => { button.disabled = true; });
    $("bt-progress").removeAttribute("value");
    $("bt-sending").hidden = false;
    S.steps.send.note("Sending to " + phone.name + " by Bluetooth\u2026 Accept the file on the phone when it asks.");
    $("bt-cancel").focus();
    Q.state("bt-sending");
    follow();
  }

  function showProgress() {
    const [done, size] = Q.splitList(String(ext.DTE_btResponse)).map(Number);
    if (size > 0) $("bt-progress").value = Math.round((100 * done) / size);
  }

  function follow() {
    if (watch) watch.stop();
    watch = Q.poll(() => Number(ext.DTE_btStatus), Q.ended("bluetooth"), showProgress, ended, 250);
  }

  function ended(status) {
    const phone = sending;
    sending = null;
    watch = null;
    $("bt-sending").hidden = true;
    buttons().forEach((button) => { button.disabled = false; });
    if (status === 100)
      S.steps.send.note("Sent to " + phone.name + ", into its Bluetooth received files. On the phone: Settings " +
        "\u203A Sound \u203A Phone ringtone, tap + and choose it.");
    else
      S.steps.send.note((failures[status] || failures[204])(phone.name), true);
    Q.state("bt-sent " + status);
    const first = buttons()[0];
    if (first) first.focus();
  }

  function cancel() {
    if (sending) ext.DTE_CancelBluetooth();
  }

  function wire() {
    $("bt-cancel").addEventListener("click", cancel);
  }

  // A sending does not outlive the step.
  function leave() {
    if (watch) watch.stop();
    if (sending) {
      ext.DTE_CancelBluetooth();
      sending = null;
    }
    $("bt-sending").hidden = true;
  }

  S.steps.sendBluetooth = { view: "send", wire, enter: find, leave, resume: () => { if (sending) follow(); } };
})();
