/* Step 4: send the clip to the phone through the online service. */
(() => {
  "use strict";

  const S = Song;
  const { Q, $, work } = S;
  const ext = Q.host();
  let sessionId = "";
  let player = null;

  // The stored phone and network; a choice made here but not yet sent is kept.
  function loadPhoneChoice(keepChosen) {
    const model = keepChosen && $("phone-model").value || Q.storedChoice("DTE_GetTEPhone", Q.phones);
    const network = keepChosen && $("network").value || Q.storedChoice("DTE_GetTENetwork", Q.networks);
    Q.fillSelect($("phone-model"), Q.phones, model, "Choose your phone…");
    Q.fillSelect($("network"), Q.networks, network, "Choose a network…");
    $("check-hint").hidden = String(ext.DTE_GetTENVCheck()) === "1";
  }

  function open() {
    $("clip-source").textContent = S.clipLabel();
    $("play").hidden = !Q.canPlayMp3();
    $("play").textContent = "\u25B6 Listen";
    $("send-form").hidden = false;
    $("sending").hidden = true;
    S.message("form-error", "");
    loadPhoneChoice();
    S.show("send");
    const first = !$("phone-model").value ? $("phone-model") : !$("network").value ? $("network") : $("phone-number");
    first.focus();
    Q.state("send-form phone=" + ($("phone-model").value || "none") + " network=" + ($("network").value || "none") +
      " checked=" + ($("check-hint").hidden ? "yes" : "no"));
  }

  function checkPhone() {
    const answer = String(ext.DTE_ShowModalDialog("Quillon - Phone Compatibility Test",
      Q.pageFolder() + "/helpCompatibility.html", $("phone-model").value + ":::" + $("network").value, 100, 100, 700, 520));
    const parts = Q.splitList(answer);
    if (!$("send").hidden) {
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

  function submitForm(event) {
    event.preventDefault();
    const problem = formProblem();
    if (problem) {
      S.message("form-error", problem[1]);
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
    S.stage(stageId, "failed", "Failed");
    S.message("send-error", text);
    $("send-cancel").hidden = true;
    $("send-retry").hidden = !!clipRefused;
    $("send-other").hidden = !clipRefused;
    $("send-back").hidden = !!clipRefused;
    $(clipRefused ? "send-other" : "send-retry").focus();
    Q.state("failed " + stageId.replace("stage-", "") + (clipRefused ? " clip refused" : ""));
  }

  // From the session on; the clip itself is kept for every retry.
  function sendClip() {
    $("send-form").hidden = true;
    $("sending").hidden = false;
    S.message("send-error", "");
    $("send-cancel").hidden = false;
    $("send-retry").hidden = true;
    $("send-other").hidden = true;
    $("send-back").hidden = true;
    ["stage-session", "stage-upload", "stage-confirm"].forEach((id) => S.stage(id, "pending", "Waiting"));
    $("send-cancel").focus();
    openSession();
  }

  const notUnderstood = "The service gave an answer Quillon does not understand.";

  function openSession() {
    Q.state("sending");
    S.busy("stage-session", "Connecting…");
    // The service's names, kept as it reads them: "phone" carries the phone
    // number, "number" the phone model (see service/README.md).
    const phoneNumber = Q.normalisePhoneNumber($("phone-number").value);
    const phoneModel = $("phone-model").value;
    const query = "?phone=" + encodeURIComponent(phoneNumber) +
      "&network=" + encodeURIComponent($("network").value) +
      "&number=" + encodeURIComponent(phoneModel) +
      "&aff=" + encodeURIComponent(String(ext.DTE_GetTEAid()));
    Q.fetchText(Q.serviceUrl("/cgi-bin/dte_session.cgi" + query), (text) => {
      const answer = Q.readServiceAnswer(text);
      if (answer.ok && answer.words[0] === "OK" && /^[0-9A-Za-z]+$/.test(answer.words[1] || "")) {
        sessionId = answer.words[1];
        S.stage("stage-session", "done", "Done");
        upload();
        return;
      }
      failed("stage-session", answer.ok ? notUnderstood : answer.message);
    });
  }

  function upload() {
    S.stage("stage-upload", "active", "0 %", 0);
    if (!ext.DTE_UploadFile(work.clip, sessionId)) {
      failed("stage-upload", "Sending could not be started.");
      return;
    }
    Q.poll(() => ext.DTE_upStatus, (v) => v >= 100,
      (v) => { if (v < 100) S.stage("stage-upload", "active", v + " %", v); },
      (v) => {
        if (v !== 100) { failed("stage-upload", Q.uploadError); return; }
        S.stage("stage-upload", "done", "Done");
        confirmDelivery(0);
      });
  }

  // The service stores the clip once it has all of it; ask until it says so.
  function confirmDelivery(attempt) {
    S.busy("stage-confirm", "Checking…");
    Q.fetchText(Q.serviceUrl("/cgi-bin/dte_status.cgi?sid=" + encodeURIComponent(sessionId)), (text) => {
      const answer = Q.readServiceAnswer(text);
      if (!answer.ok) { failed("stage-confirm", answer.message, answer.clipRefused); return; }
      if (answer.words[0] === "READY" && answer.words[1]) {
        S.stage("stage-confirm", "done", "Done");
        sent(answer.words[1]);
      } else if (answer.words[0] === "WAITING" && attempt < 9) {
        Q.after(1000, () => confirmDelivery(attempt + 1));
      } else if (answer.words[0] === "WAITING") {
        failed("stage-confirm", "The service did not take the clip. Please try again.");
      } else {
        failed("stage-confirm", notUnderstood);
      }
    });
  }

  function sent(address) {
    $("done-to").textContent = "It goes to " + Q.normalisePhoneNumber($("phone-number").value) +
      ". If it does not arrive, open this address on the phone:";
    $("done-address").value = address;
    S.show("done");
    $("again").focus();
    Q.state("send-ok " + address);
  }

  function cancelSending() {
    ext.DTE_BreakAsyncOperation();
    Q.stopAllPolling();
    Q.state("send-cancelled");
    backToForm();
  }

  function backToForm() {
    $("sending").hidden = true;
    $("send-form").hidden = false;
    S.message("form-error", "");
    $("send-button").focus();
  }

  function togglePlay() {
    if (!player) {
      player = new Audio();
      player.addEventListener("ended", () => { $("play").textContent = "\u25B6 Listen"; });
    }
    const wanted = Q.fileUrl(work.clip);
    if (player.getAttribute("src") !== wanted) player.setAttribute("src", wanted);
    if (player.paused) {
      player.play();
      $("play").textContent = "\u275A\u275A Pause";
    } else {
      player.pause();
      $("play").textContent = "\u25B6 Listen";
    }
  }

  function leave() {
    if (player) player.pause();
  }

  function wire() {
    $("send-form").addEventListener("submit", submitForm);
    $("check-phone").addEventListener("click", checkPhone);
    $("start-over").addEventListener("click", () => S.startOver());
    $("play").addEventListener("click", togglePlay);
    $("send-cancel").addEventListener("click", cancelSending);
    $("send-retry").addEventListener("click", sendClip);
    $("send-back").addEventListener("click", backToForm);
    $("send-other").addEventListener("click", () => S.startOver());
    $("again").addEventListener("click", () => S.startOver());
    // Settings may change in a dialog opened from the window's own menu.
    window.addEventListener("focus", () => { if (!$("send").hidden && !$("send-form").hidden) loadPhoneChoice(true); });
  }

  S.steps.send = { wire, open, leave, checkPhone };
})();
