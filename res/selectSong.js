/* The start page: pick the music, make the clip, send it to the phone. */
(function () {
  "use strict";

  var Q = Quillon;
  var ext = Q.host();
  function $(id) { return document.getElementById(id); }

  var source = null;     // { kind: "file", path } or { kind: "cd", drive, track, label }
  var clip = "";         // the finished, levelled MP3
  var sessionId = "";
  var player = null;
  var commandLineTimer = 0;

  /* ---- views ---- */

  var order = ["pick", "make", "send", "done"];

  function show(view) {
    order.forEach(function (name) { $(name).hidden = name !== view; });
    document.body.setAttribute("data-view", view);
    var at = Math.min(order.indexOf(view), 2);
    var items = document.querySelectorAll(".steps li");
    for (var i = 0; i < items.length; i++) {
      items[i].className = i === at && view !== "done" ? "current" : i < at || view === "done" ? "past" : "";
    }
    if (view === "pick") watchCommandLine(); else stopWatchingCommandLine();
    if (view !== "send" && player) player.pause();
  }

  function message(id, text) {
    var element = $(id);
    element.textContent = text || "";
    element.hidden = !text;
  }

  /* ---- stages with their bars ---- */

  function stage(id, status, text, percent) {
    var element = $(id);
    element.className = "stage " + status;
    element.querySelector(".state").textContent = text || "";
    var bar = element.querySelector(".bar");
    var fill = bar.firstElementChild;
    bar.className = "bar" + (status === "busy" ? " busy" : status === "done" ? " done" : status === "failed" ? " failed" : "");
    fill.style.width = status === "active" ? (percent || 0) + "%" : "";
    var mark = element.querySelector(".mark");
    mark.textContent = status === "done" ? "\u2713" : status === "failed" ? "!" : mark.getAttribute("data-n");
  }

  function busy(id, text) { stage(id, "busy", text); $(id).classList.add("active"); }

  document.querySelectorAll(".stage .mark").forEach(function (mark) { mark.setAttribute("data-n", mark.textContent); });

  /* ---- 1: pick the music ---- */

  function useFile(path) {
    if (!path) return;
    Q.state("chose file");
    startClip({ kind: "file", path: path, label: Q.fileName(path) });
  }

  // The file the app was started with, and any handed over later.
  function takeCommandLineFile() {
    var path = String(ext.DTE_clFileName || "");
    if (path) useFile(path);
  }

  function watchCommandLine() {
    stopWatchingCommandLine();
    commandLineTimer = setInterval(takeCommandLineFile, 1500);
  }

  function stopWatchingCommandLine() {
    clearInterval(commandLineTimer);
    commandLineTimer = 0;
  }

  function listDrives() {
    var select = $("drive");
    var text = String(ext.DTE_GetDrivesInfo());
    var error = Q.cdListError(text);
    select.innerHTML = "";
    select.hidden = !!error;
    if (error) {
      showTracks([], error);
      return;
    }
    Q.splitList(text).forEach(function (name, index) {
      var option = document.createElement("option");
      option.value = String(index);
      option.textContent = name.trim() || "CD drive " + (index + 1);
      select.appendChild(option);
    });
    listTracks();
  }

  function listTracks() {
    var drive = parseInt($("drive").value, 10);
    var text = String(ext.DTE_GetTracksInfo(drive));
    var error = Q.cdListError(text);
    showTracks(error ? [] : Q.splitList(text), error);
  }

  function showTracks(items, error) {
    var list = $("tracks");
    list.innerHTML = "";
    var firstAudio = null;
    items.forEach(function (item, index) {
      var data = item === "DATA";
      var row = document.createElement("label");
      row.className = "track" + (data ? " data" : "");
      var radio = document.createElement("input");
      radio.type = "radio";
      radio.name = "track";
      radio.value = String(index);
      radio.disabled = data;
      var name = document.createElement("span");
      name.className = "name";
      name.textContent = "Track " + (index + 1);
      var length = document.createElement("span");
      length.className = "len";
      length.textContent = data ? "data track" : Q.framesToTime(parseInt(item, 10));
      row.appendChild(radio);
      row.appendChild(name);
      row.appendChild(length);
      list.appendChild(row);
      if (!data && !firstAudio) firstAudio = radio;
    });
    if (firstAudio) firstAudio.checked = true;
    if (items.length) Q.state("tracks " + items.map(function (item, index) {
      return (index + 1) + (item === "DATA" ? " data" : " " + Q.framesToTime(parseInt(item, 10)));
    }).join(", "));
    $("use-track").disabled = !firstAudio;
    message("cd-message", error || (items.length && !firstAudio ? "This disc holds only data tracks, no music." : ""));
  }

  function useTrack() {
    var checked = document.querySelector("#tracks input:checked");
    if (!checked) return;
    var drive = $("drive");
    var track = parseInt(checked.value, 10);
    Q.state("chose cd");
    startClip({
      kind: "cd", drive: parseInt(drive.value, 10), track: track,
      label: "Track " + (track + 1) + " of the CD in " + drive.options[drive.selectedIndex].textContent
    });
  }

  /* ---- 2: make the clip ---- */

  function startClip(picked) {
    source = picked;
    clip = "";
    message("pick-message", "");
    message("make-error", "");
    $("make-source").textContent = picked.label;
    $("stage-rip").hidden = picked.kind !== "cd";
    ["stage-rip", "stage-convert", "stage-level"].forEach(function (id) { stage(id, "pending", "Waiting"); });
    $("make-retry").hidden = true;
    $("make-other").hidden = true;
    $("make-cancel").hidden = false;
    show("make");
    $("make-cancel").focus();
    if (picked.kind === "cd") rip(); else convert(picked.path);
  }

  function makeFailed(stageId, text, code) {
    stage(stageId, "failed", "Failed");
    message("make-error", text);
    $("make-cancel").hidden = true;
    $("make-retry").hidden = false;
    $("make-other").hidden = false;
    $("make-retry").focus();
    Q.state("failed " + stageId.replace("stage-", "") + " " + code);
  }

  function rip() {
    var wav = Q.tempPath("track.wav");
    Q.state("ripping");
    stage("stage-rip", "active", "0 %", 0);
    if (!ext.DTE_GrabAudioDataFromCD(String(source.drive), String(source.track), wav)) {
      makeFailed("stage-rip", "Copying from the CD could not be started.", "start");
      return;
    }
    Q.poll(function () { return ext.DTE_ripStatus; }, function (v) { return v >= 100; },
      function (v) { if (v < 100) stage("stage-rip", "active", v + " %", v); },
      function (v) {
        if (v !== 100) { makeFailed("stage-rip", Q.ripError(v), v); return; }
        stage("stage-rip", "done", "Done");
        convert(wav);
      });
  }

  function convert(input) {
    var output = Q.tempPath("clip-" + Date.now() + ".mp3");
    Q.state("converting");
    busy("stage-convert", "Working…");
    if (!ext.DTE_TranscodeMedia(input, output)) {
      makeFailed("stage-convert", "The converter could not be started.", "start");
      return;
    }
    Q.poll(function () { return ext.DTE_tsStatus; }, function (v) { return v === 1 || v === 2; }, null,
      function (v) {
        if (v !== 1) { makeFailed("stage-convert", Q.transcodeError, v); return; }
        stage("stage-convert", "done", "Done");
        level(output);
      });
  }

  function level(file) {
    Q.state("levelling");
    stage("stage-level", "active", "Starting", 0);
    if (!ext.DTE_NormalizeAudio(file)) {
      makeFailed("stage-level", "Levelling could not be started.", "start");
      return;
    }
    var steps = { 10: "Step 1 of 3", 30: "Step 2 of 3", 80: "Step 3 of 3" };
    Q.poll(function () { return ext.DTE_norStatus; }, function (v) { return v >= 100; },
      function (v) { if (v < 100) stage("stage-level", "active", steps[v] || "Starting", v); },
      function (v) {
        if (v !== 100) { makeFailed("stage-level", Q.normalizeError(v), v); return; }
        stage("stage-level", "done", "Done");
        clipReady(file);
      });
  }

  function clipReady(file) {
    clip = file;
    Q.state("clip-ready " + file);
    openSendForm();
  }

  // Stops every job and returns to a clean first step.
  function cancelClip() {
    ext.DTE_BreakAsyncOperation();
    Q.stopAllPolling();
    source = null;
    clip = "";
    Q.state("cancelled");
    show("pick");
    message("pick-message", "Stopped. Nothing was kept; pick the music again whenever you like.");
    $("choose-file").focus();
    Q.state("pick");
  }

  function startOver() {
    Q.stopAllPolling();
    source = null;
    clip = "";
    show("pick");
    message("pick-message", "");
    $("choose-file").focus();
    Q.state("pick");
  }

  /* ---- 3: send it to the phone ---- */

  // The stored phone and network; a choice made here but not yet sent is kept.
  function loadPhoneChoice(keepChosen) {
    var phone = keepChosen && $("phone").value || Q.storedChoice("DTE_GetTEPhone", Q.phones);
    var network = keepChosen && $("network").value || Q.storedChoice("DTE_GetTENetwork", Q.networks);
    Q.fillSelect($("phone"), Q.phones, phone, "Choose your phone…");
    Q.fillSelect($("network"), Q.networks, network, "Choose a network…");
    $("check-hint").hidden = String(ext.DTE_GetTENVCheck()) === "1";
  }

  function openSendForm() {
    $("clip-source").textContent = source ? source.label : "";
    $("play").hidden = !Q.canPlayMp3();
    $("play").textContent = "\u25B6 Listen";
    $("send-form").hidden = false;
    $("sending").hidden = true;
    message("form-error", "");
    loadPhoneChoice();
    show("send");
    var first = !$("phone").value ? $("phone") : !$("network").value ? $("network") : $("number");
    first.focus();
    Q.state("send-form phone=" + ($("phone").value || "none") + " network=" + ($("network").value || "none") +
      " checked=" + ($("check-hint").hidden ? "yes" : "no"));
  }

  function checkPhone() {
    var answer = String(ext.DTE_ShowModalDialog("Quillon - Phone Compatibility Test",
      Q.pageFolder() + "/helpCompatibility.html", $("phone").value + ":::" + $("network").value, 100, 100, 700, 520));
    var parts = Q.splitList(answer);
    if (!$("send").hidden) {
      loadPhoneChoice(true);
      if (Q.findById(Q.phones, parts[0])) $("phone").value = parts[0];
      if (Q.findById(Q.networks, parts[1])) $("network").value = parts[1];
    }
  }

  function formProblem() {
    var phone = Q.findById(Q.phones, $("phone").value);
    if (!phone) return ["phone", "Please choose your phone."];
    if (!phone.mp3) return ["phone", "This phone cannot play MP3 ringtones, so the clip would not work on it."];
    if (!$("network").value) return ["network", "Please choose your phone's network."];
    if (!Q.normalisePhoneNumber($("number").value))
      return ["number", "Please enter the phone number with its country code, for example +44 7700 900123."];
    return null;
  }

  function submitForm(event) {
    event.preventDefault();
    var problem = formProblem();
    if (problem) {
      message("form-error", problem[1]);
      $(problem[0]).focus();
      return;
    }
    ext.DTE_SetTEPhone($("phone").value);
    ext.DTE_SetTENetwork($("network").value);
    sendClip();
  }

  function sendFailed(stageId, text) {
    stage(stageId, "failed", "Failed");
    message("send-error", text);
    $("send-cancel").hidden = true;
    $("send-retry").hidden = false;
    $("send-back").hidden = false;
    $("send-retry").focus();
    Q.state("failed " + stageId.replace("stage-", ""));
  }

  // From the session on; the clip itself is kept for every retry.
  function sendClip() {
    $("send-form").hidden = true;
    $("sending").hidden = false;
    message("send-error", "");
    $("send-cancel").hidden = false;
    $("send-retry").hidden = true;
    $("send-back").hidden = true;
    ["stage-session", "stage-upload", "stage-confirm"].forEach(function (id) { stage(id, "pending", "Waiting"); });
    $("send-cancel").focus();
    openSession();
  }

  function openSession() {
    Q.state("sending");
    busy("stage-session", "Connecting…");
    var query = "?phone=" + encodeURIComponent(Q.normalisePhoneNumber($("number").value)) +
      "&network=" + encodeURIComponent($("network").value) +
      "&number=" + encodeURIComponent($("phone").value) +
      "&aff=" + encodeURIComponent(String(ext.DTE_GetTEAid()));
    Q.fetchText(Q.serviceUrl("/cgi-bin/dte_session.cgi" + query), function (text) {
      var answer = Q.readServiceAnswer(text);
      if (answer.ok && answer.words[0] === "OK" && /^[0-9A-Za-z]+$/.test(answer.words[1] || "")) {
        sessionId = answer.words[1];
        stage("stage-session", "done", "Done");
        upload();
        return;
      }
      sendFailed("stage-session", answer.ok ? "The service gave an answer Quillon does not understand." : answer.message);
    });
  }

  function upload() {
    stage("stage-upload", "active", "0 %", 0);
    if (!ext.DTE_UploadFile(clip, sessionId)) {
      sendFailed("stage-upload", "Sending could not be started.");
      return;
    }
    Q.poll(function () { return ext.DTE_upStatus; }, function (v) { return v >= 100; },
      function (v) { if (v < 100) stage("stage-upload", "active", v + " %", v); },
      function (v) {
        if (v !== 100) { sendFailed("stage-upload", Q.uploadError); return; }
        stage("stage-upload", "done", "Done");
        confirmDelivery(0);
      });
  }

  // The service stores the clip once it has all of it; ask until it says so.
  function confirmDelivery(attempt) {
    busy("stage-confirm", "Checking…");
    Q.fetchText(Q.serviceUrl("/cgi-bin/dte_status.cgi?sid=" + encodeURIComponent(sessionId)), function (text) {
      var answer = Q.readServiceAnswer(text);
      if (!answer.ok) { sendFailed("stage-confirm", answer.message); return; }
      if (answer.words[0] === "READY" && answer.words[1]) {
        stage("stage-confirm", "done", "Done");
        sent(answer.words[1]);
      } else if (answer.words[0] === "WAITING" && attempt < 9) {
        Q.after(1000, function () { confirmDelivery(attempt + 1); });
      } else if (answer.words[0] === "WAITING") {
        sendFailed("stage-confirm", "The service did not take the clip. Please try again.");
      } else {
        sendFailed("stage-confirm", "The service gave an answer Quillon does not understand.");
      }
    });
  }

  function sent(address) {
    $("done-to").textContent = "It goes to " + Q.normalisePhoneNumber($("number").value) +
      ". If it does not arrive, open this address on the phone:";
    $("done-address").value = address;
    show("done");
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
    message("form-error", "");
    $("send-button").focus();
  }

  function togglePlay() {
    if (!player) {
      player = new Audio();
      player.addEventListener("ended", function () { $("play").textContent = "\u25B6 Listen"; });
    }
    var wanted = Q.fileUrl(clip);
    if (player.getAttribute("src") !== wanted) player.setAttribute("src", wanted);
    if (player.paused) {
      player.play();
      $("play").textContent = "\u275A\u275A Pause";
    } else {
      player.pause();
      $("play").textContent = "\u25B6 Listen";
    }
  }

  /* ---- wiring ---- */

  if (!Q.requireHost()) return;

  $("nav-usage").addEventListener("click", function () { ext.DTE_ShowUsage(); });
  $("nav-compat").addEventListener("click", checkPhone);
  $("nav-contact").addEventListener("click", function () { ext.DTE_ShowContact(); });
  $("nav-about").addEventListener("click", function () { ext.DTE_ShowAboutBox(); });
  $("nav-home").addEventListener("click", Q.openHomepage);

  $("choose-file").addEventListener("click", function () { useFile(String(ext.DTE_SelectMediaFile())); });
  $("refresh").addEventListener("click", listDrives);
  $("drive").addEventListener("change", listTracks);
  $("use-track").addEventListener("click", useTrack);
  // Enter on a track starts at once; its default action would otherwise land on
  // the button that takes the focus next.
  $("tracks").addEventListener("keydown", function (e) {
    if (e.key !== "Enter") return;
    e.preventDefault();
    useTrack();
  });
  $("tracks").addEventListener("dblclick", useTrack);

  $("make-cancel").addEventListener("click", cancelClip);
  $("make-retry").addEventListener("click", function () { Q.stopAllPolling(); startClip(source); });
  $("make-other").addEventListener("click", startOver);

  $("send-form").addEventListener("submit", submitForm);
  $("check-phone").addEventListener("click", checkPhone);
  $("start-over").addEventListener("click", startOver);
  $("play").addEventListener("click", togglePlay);
  $("send-cancel").addEventListener("click", cancelSending);
  $("send-retry").addEventListener("click", sendClip);
  $("send-back").addEventListener("click", backToForm);
  $("again").addEventListener("click", startOver);

  // Settings may change in a dialog opened from the window's own menu.
  window.addEventListener("focus", function () { if (!$("send").hidden && !$("send-form").hidden) loadPhoneChoice(true); });

  show("pick");
  listDrives();
  $("choose-file").focus();
  Q.state("pick");
  takeCommandLineFile();
})();
