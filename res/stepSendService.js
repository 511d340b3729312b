/* Step 4, the online service: phone, network and number, then the session, the
 * upload and the service's confirmation. The page says what the service answered
 * and nothing more: it tells of a message to the phone only when the service
 * says it sent one, and shows a download address only where a phone can reach it. */
(() => {
  "use strict";

  const S = Song;
  const Q = Quillon;
  const { $, message, stage, busy } = Dom;
  const ext = Q.host();
  let clip = ""; // the clip on the code when the form was opened
  let sessionId = "";

  // The stored phone and network; a choice made here but not yet sent is kept.
  function loadPhoneChoice(keepChosen) {
    const model = keepChosen && $("phone-model").value || Q.storedChoice("DTE_GetTEPhone", Q.phones);
    const network = keepChosen && $("network").value || Q.storedChoice("DTE_GetTENetwork", Q.networks);
    Q.fillSelect($("phone-model"), Q.phones, model, "Choose your phone…");
    Q.fillSelect($("network"), Q.networks, network, "Choose a network…");
    $("check-hint").hidden = String(ext.DTE_GetTENVCheck()) === "1";
  }

  function open() {
    clip = S.steps.send.clip().clip;
    $("routes").hidden = true;
    $("service").hidden = false;
    $("send-form").hidden = false;
    $("sending").hidden = true;
    $("service-done").hidden = true;
    message("form-error", "");
    loadPhoneChoice();
    const first = !$("phone-model").value ? $("phone-model") : !$("network").value ? $("network") : $("phone-number");
    first.focus();
    Q.state("send-form phone=" + ($("phone-model").value || "none") + " network=" + ($("network").value || "none") +
      " checked=" + ($("check-hint").hidden ? "yes" : "no"));
  }

  function backToRoutes() {
    $("service").hidden = true;
    $("routes").hidden = false;
    $("service-route").focus();
    Q.state("send-routes");
  }

  function checkPhone() {
    const answer = String(ext.DTE_ShowModalDialog("Quillon - Phone Compatibility Test",
      Q.pageFolder() + "/helpCompatibility.html", $("phone-model").value + ":::" + $("network").value, 100, 100, 700, 520));
    const parts = Q.splitList(answer);
    if (!$("send-form").hidden && !$("service").hidden) {
      loadPhoneChoice(true);
      if (Q.findById(Q.phones, parts[0])) $("phone-model").value = parts[0];
      if (Q.findById(Q.networks, parts[1])) $("network").value = parts[1];
    }
  }

  function formProblem() {
    const model = Q.findById(Q.phones, $("phone-model").value);
    if (!model) return ["phone-model", "Please choose your phone."];
    if (!model.mp3) return ["phone-model", "This phone cannot play MP3 ringtones, so the clip would not work on it."];
    if (!$("network").value) return ["network", "Please choose your phone's network."];
    if (!Q.normalisePhoneNumber($("phone-number").value))
      return ["phone-number", "Please enter the phone number with its country code, for example +44 7700 900123."];
    return null;
  }

  // An error said about the form goes once what it was about is mended.
  function recheckForm() {
    if ($("form-error").hidden) return;
    const problem = formProblem();
    if (!problem || problem[1] !== $("form-error").textContent) message("form-error", "");
  }

  function submitForm(event) {
    event.preventDefault();
    const problem = formProblem();
    if (problem) {
      message("form-error", problem[1]);
      $(problem[0]).focus();
      return;
    }
    ext.DTE_SetTEPhone($("phone-model").value);
    ext.DTE_SetTENetwork($("network").value);
    sendClip();
  }

  // A clip the service refuses outright is not sent again: other music (or a
  // shorter part of it) is what can help.
  function failed(stageId, text, clipRefused) {
    S.fail(stageId, "send-error", text, clipRefused ? " clip refused" : "",
      { "send-cancel": false, "send-retry": !clipRefused, "send-other": !!clipRefused, "send-back": !clipRefused },
      clipRefused ? "send-other" : "send-retry");
  }

  // From the session on; the clip itself is kept for every retry.
  function sendClip() {
    $("send-form").hidden = true;
    $("sending").hidden = false;
    message("send-error", "");
    ["stage-session", "stage-upload", "stage-confirm"].forEach((id) => stage(id, "pending", "Waiting"));
    Dom.buttons({ "send-cancel": true, "send-retry": false, "send-other": false, "send-back": false }, "send-cancel");
    openSession();
  }

  const notUnderstood = "The service gave an answer Quillon does not understand.";

  function openSession() {
    Q.state("sending");
    busy("stage-session", "Connecting…");
    // The service's names, kept as it reads them: "phone" carries the phone
    // number, "number" the phone model (see service/README.md).
    const phoneNumber = Q.normalisePhoneNumber($("phone-number").value);
    const phoneModel = $("phone-model").value;
    const query = "?phone=" + encodeURIComponent(phoneNumber) +
      "&network=" + encodeURIComponent($("network").value) +
      "&number=" + encodeURIComponent(phoneModel) +
      "&aff=" + encodeURIComponent(String(ext.DTE_GetTEAid()));
    Q.fetchText(Q.serviceUrl("session", query), (text) => {
      const answer = Q.readServiceAnswer(text);
      if (answer.ok && answer.words[0] === "OK" && /^[0-9A-Za-z]+$/.test(answer.words[1] || "")) {
        sessionId = answer.words[1];
        stage("stage-session", "done", "Done");
        upload();
        return;
      }
      failed("stage-session", answer.ok ? notUnderstood : answer.message);
    });
  }

  function upload() {
    stage("stage-upload", "active", "0 %", 0);
    if (!ext.DTE_UploadFile(clip, sessionId)) {
      failed("stage-upload", "Sending could not be started.");
      return;
    }
    Q.poll(() => ext.DTE_upStatus, Q.ended("upload"),
      (v) => { if (v < 100) stage("stage-upload", "active", v + " %", v); },
      (v) => {
        if (v !== 100) { failed("stage-upload", Q.uploadError); return; }
        stage("stage-upload", "done", "Done");
        confirmDelivery(0);
      });
  }

  // The service stores the clip once it has all of it; ask until it says so.
  function confirmDelivery(attempt) {
    busy("stage-confirm", "Checking…");
    Q.fetchText(Q.serviceUrl("status", "?sid=" + encodeURIComponent(sessionId)), (text) => {
      const answer = Q.readServiceAnswer(text);
      if (!answer.ok) { failed("stage-confirm", answer.message, answer.clipRefused); return; }
      if (answer.words[0] === "READY" && answer.words[1]) {
        stage("stage-confirm", "done", "Done");
        done(answer.words[1], answer.words[2] === "SENT");
      } else if (answer.words[0] === "WAITING" && attempt < 9) {
        Q.after(1000, () => confirmDelivery(attempt + 1));
      } else if (answer.words[0] === "WAITING") {
        failed("stage-confirm", "The service did not take the clip. Please try again.");
      } else {
        failed("stage-confirm", notUnderstood);
      }
    });
  }

  // A loopback or link-local host names the phone itself, or nothing it can reach.
  function phoneCanReach(address) {
    const match = /^https?:\/\/(\[[^\]]*\]|[^/:?#]*)/i.exec(address);
    const host = match ? match[1].toLowerCase() : "";
    return !!host && !/^(localhost|127\.|0\.0\.0\.0$|169\.254\.|\[::1?\]$|\[fe[89ab])/.test(host) &&
      !host.endsWith(".localhost");
  }

  function done(address, sentToPhone) {
    const number = Q.normalisePhoneNumber($("phone-number").value);
    const reachable = phoneCanReach(address);
    $("sending").hidden = true;
    $("service-done").hidden = false;
    $("service-said").textContent = (sentToPhone
      ? "The service says it sent the clip to " + number + "."
      : "The service has stored your clip. It did not say it sent anything to " + number + ".") +
      (reachable ? " The phone can fetch it from this address:" : "");
    // Without a message to the phone, the other ways are what gets the clip there now.
    $("service-next").textContent = sentToPhone ? "" : reachable
      ? "Or use one of the other ways: the code on the Wi-Fi, a saved copy or a paired phone."
      : "To get it on the phone now, use one of the other ways: the code on the Wi-Fi, a saved copy or a paired phone.";
    $("service-next").hidden = sentToPhone;
    $("service-address").hidden = !reachable;
    $("service-address").textContent = reachable ? address : "";
    const qr = reachable && typeof ext.DTE_QrCode !== "undefined" ? String(ext.DTE_QrCode(address)) : "";
    $("service-qr").innerHTML = qr;
    $("service-qr").hidden = !qr;
    $("service-done-back").classList.toggle("primary", !sentToPhone);
    $("again").classList.toggle("primary", sentToPhone);
    (sentToPhone ? $("again") : $("service-done-back")).focus();
    Q.state("send-ok " + (sentToPhone ? "sent " : "stored ") + (reachable ? address : "unreachable " + address));
  }

  function cancelSending() {
    S.stopJobs();
    Q.state("send-cancelled");
    backToForm();
  }

  function backToForm() {
    $("sending").hidden = true;
    $("send-form").hidden = false;
    message("form-error", "");
    $("send-button").focus();
  }

  function wire() {
    $("service-route").addEventListener("click", open);
    $("send-form").addEventListener("submit", submitForm);
    $("check-phone").addEventListener("click", checkPhone);
    $("service-back").addEventListener("click", backToRoutes);
    $("service-done-back").addEventListener("click", backToRoutes);
    $("send-cancel").addEventListener("click", cancelSending);
    $("send-retry").addEventListener("click", sendClip);
    $("send-back").addEventListener("click", backToForm);
    $("send-other").addEventListener("click", () => S.startOver());
    // Another clip of the same song where the part step still holds it.
    $("again").addEventListener("click", () => (S.canGoBack("part") ? S.goBack("part") : S.startOver()));
    ["phone-model", "network"].forEach((id) => $(id).addEventListener("change", recheckForm));
    $("phone-number").addEventListener("input", recheckForm);
    // Settings may change in a dialog opened from the window's own menu.
    window.addEventListener("focus", () => {
      if (!$("service").hidden && !$("send-form").hidden) loadPhoneChoice(true);
    });
  }

  // Shown with the ways to the phone; the service is one of them, opened from there.
  S.steps.sendService = { view: "send", wire, checkPhone };
})();
