/* Step 4: get the clip onto the phone. The ways, in the order shown: a QR code
 * the phone scans on the same Wi-Fi, a copy saved anywhere (a phone over USB
 * included), a paired phone, and the online service (stepSendService.js). They
 * work on the clip on the code, one of "Your clips" (clipList.js). Routes of
 * their own files (the firewall, Bluetooth, a phone plugged in) take that clip
 * from clipToSend, say their outcome with note and follow the serving through
 * whenServed. */
(() => {
  "use strict";

  const S = Song;
  const Q = Quillon;
  const { $ } = Dom;
  const ext = Q.host();
  const has = (name) => typeof ext[name] !== "undefined";
  let clips = [];   // every clip of this run, as the controller keeps them
  let given = null; // the one on the code, which the ways send: { clip, source, part, label, loudness }
  let player = null;
  let playing = null; // the clip being heard
  let watch = null; // the poll of the Wi-Fi status while the code is shown
  let phones = [];  // [{ id, name }] from the last look for paired phones
  let savedPlace = ""; // where the last copy was saved
  const served = []; // calls (port) of the routes that follow each serving

  // "My Song" for "My Song.mp3", "Track 3" for a CD's third track.
  function songTitle(clip = given) {
    const source = clip.source;
    return source.kind === "cd" ? "Track " + (Number(source.track) + 1) : source.label.replace(/\.[^.]*$/, "");
  }

  // The kind of sound a clip is (a whole song is a ringtone), and the name it goes by.
  const kindId = (clip = given) => Q.clipKind(clip.part ? clip.part.kind : "").id;
  const clipName = (clip = given) => Q.clipFileName(songTitle(clip), kindId(clip));
  // The clip the routes send, the name it arrives under and its kind.
  const clipToSend = () => ({ clip: given.clip, name: clipName(), kind: kindId() });

  // Every clip is made at -12 LUFS; a clip that could not get there says so.
  function loudnessWords(clip) {
    const lufs = Number(clip.loudness);
    const others = "most " + Q.clipKind(kindId(clip)).noun + "s";
    return lufs < -13 ? "Quieter than " + others : lufs > -11 ? "Louder than " + others : "As loud as " + others;
  }

  // place: where a copy was saved, offered to be shown in its folder.
  function note(text, isError, place) {
    $("route-note-text").textContent = text;
    $("route-note").hidden = !text;
    $("route-note").className = "message small " + (isError ? "error" : "info");
    savedPlace = place || "";
    $("show-folder").hidden = !savedPlace || !has("DTE_ShowInFolder");
  }

  function enter(what) {
    clips = what.clips;
    $("play").hidden = !Q.canPlayMp3();
    $("routes").hidden = false;
    $("service").hidden = true;
    $("save-copy").hidden = !has("DTE_SaveClipCopy");
    $("change-part").hidden = !S.canGoBack("part");
    show(clips[clips.length - 1]);
    $("save-copy").focus();
    findPhones();
  }

  // Puts a clip on the code and under the ways; one clip is served at a time.
  function show(clip) {
    given = clip;
    $("clip-source").textContent = given.label;
    $("clip-loudness").textContent = given.loudness ? loudnessWords(given) + " \u00B7 " + ClipList.loudness(given.loudness) : "";
    $("clip-loudness").hidden = !given.loudness;
    note("");
    drawClips();
    serve();
  }

  function drawClips() {
    $("play").textContent = playing === given ? "\u275A\u275A Pause" : "\u25B6 Listen";
    ClipList.draw($("clips"), { clips, shown: given, playing, canListen: Q.canPlayMp3(), canSave: has("DTE_SaveClipCopy") },
      { listen: togglePlay, save: saveCopy, show });
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
    if (!ext.DTE_ServeClip(given.clip, songTitle(), part.startMs, part.lengthMs, kindId())) {
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
    served.forEach((route) => route(port));
  }

  // Follows the Wi-Fi status while the code is up; restarted after a stop of all polling.
  function watchServing() {
    if (watch) watch.stop();
    if ($("wifi-live").hidden) return;
    watch = Q.poll(() => Number(ext.DTE_svStatus), Q.ended("serve"), (v) => {
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

  // Saves a copy of clip (the one on the code unless another is given).
  function saveCopy(clip = given) {
    if ($("routes").hidden || !has("DTE_SaveClipCopy")) return;
    const back = document.activeElement;
    const [outcome, detail] = Q.splitList(String(ext.DTE_SaveClipCopy(clip.clip, clipName(clip))));
    if (outcome === "saved") note("Saved to " + detail + ".", false, detail);
    else if (outcome === "failed") note(detail, true);
    Q.state("save " + (outcome || "cancelled"));
    (back && back !== document.body ? back : $("save-copy")).focus();
  }

  function showInFolder() {
    const shown = ext.DTE_ShowInFolder(savedPlace);
    Q.state("show-folder " + (shown ? "asked" : "refused"));
  }

  /* ---- a paired phone ---- */

  function findPhones() {
    $("phones").textContent = "";
    phones = [];
    if (!has("DTE_FindPhones") || !ext.DTE_FindPhones()) return;
    Q.poll(() => Number(ext.DTE_phStatus), Q.ended("phones"), null, (v) => {
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
    if (!ext.DTE_SendToPhone(phone.id, given.clip, clipName())) {
      note(phoneFailures[201](phone.name), true);
      return;
    }
    button.disabled = true;
    note("Sending to " + phone.name + "\u2026");
    Q.poll(() => Number(ext.DTE_shStatus), Q.ended("share"), null, (v) => {
      button.disabled = false;
      if (v === 100)
        note("Sent to " + phone.name + ", into its Downloads. On the phone, choose it there as its " +
          Q.clipKind(kindId()).noun + ".");
      else
        note((phoneFailures[v] || phoneFailures[201])(phone.name), true);
      Q.state("phone-share " + v);
      button.focus();
    });
  }

  /* ---- listening ---- */

  // Plays or pauses clip (the one on the code unless another is given).
  function togglePlay(clip = given) {
    if (!player) {
      player = new Audio();
      player.addEventListener("ended", () => stopPlaying());
    }
    const wanted = Q.fileUrl(clip.clip);
    if (player.getAttribute("src") !== wanted) player.setAttribute("src", wanted);
    if (player.paused) {
      player.play();
      playing = clip;
    } else {
      player.pause();
      playing = null;
    }
    drawClips();
  }

  function stopPlaying() {
    if (player) player.pause();
    playing = null;
    drawClips();
  }

  function leave() {
    stopPlaying();
    stopServing();
  }

  function wire() {
    $("play").addEventListener("click", () => togglePlay());
    $("save-copy").addEventListener("click", () => saveCopy());
    $("show-folder").addEventListener("click", showInFolder);
    $("change-part").addEventListener("click", () => S.goBack("part"));
    $("wifi-again").addEventListener("click", () => { serve(); $("save-copy").focus(); });
    $("start-over").addEventListener("click", () => S.startOver());
    document.addEventListener("keydown", (e) => {
      if (e.ctrlKey && !e.altKey && (e.key === "s" || e.key === "S") && S.showing() === "send") {
        e.preventDefault();
        saveCopy();
      }
    });
  }

  S.steps.send = {
    view: "send", wire, enter, leave, resume: watchServing,
    clip: () => given, clipToSend, note, whenServed: (route) => served.push(route)
  };
})();
