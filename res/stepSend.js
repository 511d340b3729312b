/* Step 4: get the clip onto the phone. The ways, in the order shown: a QR code
 * the phone scans on the same Wi-Fi, a copy saved anywhere (a phone over USB
 * included), a paired phone, and the online service (stepSendService.js). */
(() => {
  "use strict";

  const S = Song;
  const Q = Quillon;
  const { $, message } = Dom;
  const ext = Q.host();
  const has = (name) => typeof ext[name] !== "undefined";
  let given = null; // what the step was given: the clip, its source, part and label
  let player = null;
  let watch = null; // the poll of the Wi-Fi status while the code is shown
  let phones = [];  // [{ id, name }] from the last look for paired phones

  // "My Song" for "My Song.mp3", "Track 3" for a CD's third track.
  function songTitle() {
    const source = given.source;
    return source.kind === "cd" ? "Track " + (Number(source.track) + 1) : source.label.replace(/\.[^.]*$/, "");
  }

  function note(text, isError) {
    message("route-note", text);
    $("route-note").className = "message small " + (isError ? "error" : "info");
  }

  function enter(what) {
    given = what;
    $("clip-source").textContent = given.label;
    // Integrated loudness of the levelled clip, as the gain step measured it.
    const loudness = has("DTE_norLoudness") ? String(ext.DTE_norLoudness) : "";
    $("clip-loudness").textContent = loudness ? "Loudness " + loudness.replace("-", "\u2212") + " LUFS" : "";
    $("clip-loudness").hidden = !loudness;
    $("play").hidden = !Q.canPlayMp3();
    $("play").textContent = "\u25B6 Listen";
    $("routes").hidden = false;
    $("service").hidden = true;
    note("");
    $("save-copy").hidden = !has("DTE_SaveClipCopy");
    $("save-copy").focus();
    serve();
    findPhones();
  }

  /* ---- on the Wi-Fi ---- */

  const offline = {
    201: "This computer is not on a network, so a phone cannot fetch the ringtone from it. The other ways, " +
      "on the right, still work.",
    202: "This clip cannot be offered to a phone. Please make it again.",
    203: "The ringtone could not be offered on the network. Please try again.",
    204: "The code was shown for 15 minutes and no longer works, so nobody else can fetch the ringtone.",
    205: "This computer stopped offering the ringtone on the network, so the code no longer works."
  };

  function showOffline(status) {
    $("wifi-live").hidden = true;
    $("wifi-off").hidden = false;
    $("wifi-off-text").textContent = offline[status] || offline[203];
    $("wifi-again").hidden = ![203, 204, 205].includes(status);
    Q.state("wifi-off " + status);
  }

  function serve() {
    if (watch) watch.stop();
    if (!has("DTE_ServeClip")) { showOffline(203); return; }
    const part = given.part || { startMs: 0, lengthMs: 0 };
    if (!ext.DTE_ServeClip(given.clip, songTitle(), part.startMs, part.lengthMs)) {
      showOffline(Number(ext.DTE_svStatus));
      return;
    }
    const [address, port] = Q.splitList(String(ext.DTE_svResponse));
    $("qr").innerHTML = String(ext.DTE_QrCode(address));
    $("wifi-address").textContent = address;
    $("wifi-firewall").textContent = "A firewall on this computer blocks incoming connections: allow TCP port " + port + ".";
    $("wifi-status").textContent = "";
    $("wifi-off").hidden = true;
    $("wifi-live").hidden = false;
    Q.state("wifi-qr");  // never the address: its token is for the phone alone
    watchServing();
  }

  // Follows the Wi-Fi status while the code is up; restarted after a stop of all polling.
  function watchServing() {
    if (watch) watch.stop();
    if ($("wifi-live").hidden) return;
    watch = Q.poll(() => Number(ext.DTE_svStatus), (v) => v !== 1 && v !== 100, (v) => {
      if (v === 100 && !$("wifi-status").textContent) {
        const at = new Date().toLocaleTimeString([], { hour: "2-digit", minute: "2-digit" });
        $("wifi-status").textContent = "\u2713 Downloaded to a phone at " + at + ".";
        Q.state("wifi-downloaded");
      }
    }, showOffline, 1000);
  }

  function stopServing() {
    if (watch) watch.stop();
    watch = null;
    if (has("DTE_StopServing")) ext.DTE_StopServing();
  }

  /* ---- a saved copy ---- */

  function saveCopy() {
    if ($("routes").hidden || !has("DTE_SaveClipCopy")) return;
    const [outcome, detail] = Q.splitList(String(ext.DTE_SaveClipCopy(given.clip, songTitle() + " ringtone.mp3")));
    if (outcome === "saved") note("Saved to " + detail + ".");
    else if (outcome === "failed") note(detail, true);
    Q.state("save " + (outcome || "cancelled"));
    $("save-copy").focus();
  }

  /* ---- a paired phone ---- */

  function findPhones() {
    $("phones").textContent = "";
    phones = [];
    if (!has("DTE_FindPhones") || !ext.DTE_FindPhones()) return;
    Q.poll(() => Number(ext.DTE_phStatus), (v) => v !== 1, null, (v) => {
      const items = v === 100 ? Q.splitList(String(ext.DTE_phResponse)) : [];
      for (let i = 0; i + 1 < items.length; i += 2) phones.push({ id: items[i], name: items[i + 1] });
      phones.forEach((phone) => {
        const button = document.createElement("button");
        button.type = "button";
        button.textContent = "Send to " + phone.name;
        button.addEventListener("click", () => sendToPhone(phone, button));
        $("phones").appendChild(button);
      });
      Q.state("phones " + phones.length);
    }, 300);
  }

  const phoneFailures = {
    201: (name) => name + " could not be reached. Check that it is unlocked and connected, then try again.",
    202: (name) => name + " did not answer. Check that it is unlocked and connected, then try again."
  };

  function sendToPhone(phone, button) {
    if (!ext.DTE_SendToPhone(phone.id, given.clip)) {
      note(phoneFailures[201](phone.name), true);
      return;
    }
    button.disabled = true;
    note("Sending to " + phone.name + "\u2026");
    Q.poll(() => Number(ext.DTE_shStatus), (v) => v !== 1, null, (v) => {
      button.disabled = false;
      if (v === 100)
        note("Sent to " + phone.name + ", into its Downloads. On the phone: Settings \u203A Sound \u203A " +
          "Phone ringtone, tap + and choose it.");
      else
        note((phoneFailures[v] || phoneFailures[201])(phone.name), true);
      Q.state("phone-share " + v);
      button.focus();
    });
  }

  /* ---- listening ---- */

  function togglePlay() {
    if (!player) {
      player = new Audio();
      player.addEventListener("ended", () => { $("play").textContent = "\u25B6 Listen"; });
    }
    const wanted = Q.fileUrl(given.clip);
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
    stopServing();
  }

  function wire() {
    $("play").addEventListener("click", togglePlay);
    $("save-copy").addEventListener("click", saveCopy);
    $("wifi-again").addEventListener("click", () => { serve(); $("save-copy").focus(); });
    $("start-over").addEventListener("click", () => S.startOver());
    document.addEventListener("keydown", (e) => {
      if (e.ctrlKey && !e.altKey && (e.key === "s" || e.key === "S") && S.showing() === "send") {
        e.preventDefault();
        saveCopy();
      }
    });
  }

  S.steps.send = { view: "send", wire, enter, leave, resume: watchServing };
})();
