/* Talking to the host program through window.external: polling, paths, the
 * service address and the plain-language texts for every failure it reports.
 * Shared by the start page and the dialogs. */
const Quillon = (() => {
  "use strict";

  // The host object, or null when the page is opened in an ordinary browser.
  function host() {
    const ext = window.external;
    try {
      if (ext && typeof ext.DTE_IsDTE !== "undefined" && ext.DTE_IsDTE) return ext;
    } catch { /* a browser's own external object may refuse unknown names */ }
    return null;
  }

  // Short state lines on the console let a watcher follow the flow.
  const state = (text) => console.log("QUILLON state " + text);

  // Replaces the page with a note when it runs outside the app.
  function requireHost() {
    if (host()) return true;
    const note = document.getElementById("no-host");
    if (note) note.hidden = false;
    document.body.classList.add("without-host");
    return false;
  }

  // A button that starts something is replaced at once by its Cancel button in
  // the same place, so the second click of a double click would undo the first:
  // every button ignores all but the first click of a quick series.
  document.addEventListener("click", function (e) {
    if (e.detail > 1 && e.target.closest && e.target.closest("button")) {
      e.preventDefault();
      e.stopImmediatePropagation();
    }
  }, true);

  /* ---- polling ---- */

  let pollers = [];

  // Reads a status every interval ms until isEnd(value); calls onValue with every
  // reading and onEnd with the final one. Returns a handle whose stop() ends it.
  // Every wait of the pages goes through here, so stopAllPolling() ends them all.
  function poll(read, isEnd, onValue, onEnd, interval = 150) {
    const handle = { timer: 0, stopped: false };
    handle.stop = () => {
      handle.stopped = true;
      clearTimeout(handle.timer);
      pollers = pollers.filter((p) => p !== handle);
    };
    const tick = () => {
      if (handle.stopped) return;
      const value = read();
      if (onValue) onValue(value);
      if (isEnd(value)) {
        handle.stop();
        onEnd(value);
        return;
      }
      handle.timer = setTimeout(tick, interval);
    };
    pollers.push(handle);
    handle.timer = setTimeout(tick, interval);
    return handle;
  }

  // How a job's status reads, from the generated job_codes.js: the values it still
  // runs at, and the words for its ends. A job not listed ends at 100 and over.
  const jobCodes = (id) => (window.QUILLON_JOBS || {})[id] || { running: { from: -Infinity, to: 99 }, words: {} };
  function ended(id) {
    const running = jobCodes(id).running;
    return Array.isArray(running)
      ? (v) => running.indexOf(Number(v)) === -1
      : (v) => Number(v) < running.from || Number(v) > running.to;
  }

  // Runs fn once after ms unless polling is stopped first.
  const after = (ms, fn) => poll(() => null, () => true, null, fn, ms);

  function stopAllPolling() {
    pollers.slice().forEach((p) => p.stop());
  }

  /* ---- paths and addresses ---- */

  // The folder of this page on disk, from its own file URL.
  function pageFolder() {
    const path = decodeURIComponent(location.pathname);
    return path.substring(0, path.lastIndexOf("/"));
  }

  // A file in this copy's temporary folder, which the converter keeps tidy: the
  // "tmp" query value the app hands the start page, else the page's own tmp/.
  function tempPath(name) {
    const match = /[?&]tmp=([^&#]*)/.exec(location.search);
    return (match && match[1] ? decodeURIComponent(match[1]) : pageFolder() + "/tmp") + "/" + name;
  }

  // The file:// URL of an absolute path, each name escaped.
  const fileUrl = (path) => "file://" + path.split("/").map(encodeURIComponent).join("/");

  // A backslash is an ordinary character of a file name here.
  const fileName = (path) => path.substring(path.lastIndexOf("/") + 1);

  // host[:port] of the online service: the app hands it to the start page as the
  // "service" query value, the same address its uploads go to.
  function serviceAuthority() {
    const match = /[?&]service=([^&#]*)/.exec(location.search);
    return match ? decodeURIComponent(match[1]) : "";
  }

  // The address of one of the service's paths (session, status, …) with a query.
  const serviceUrl = (path, query) => "http://" + serviceAuthority() + window.QUILLON_SERVICE.paths[path] + query;

  /* ---- formatting ---- */

  // Track lengths come in CD frames, 75 to the second.
  function framesToTime(frames) {
    const seconds = Math.round(frames / 75);
    const minutes = Math.floor(seconds / 60);
    const rest = seconds % 60;
    return minutes + ":" + (rest < 10 ? "0" : "") + rest;
  }

  // m:ss.s, tenths rounded down so a shown end never passes the song's end.
  function formatMs(ms) {
    const tenths = Math.floor(ms / 100);
    const rest = tenths % 600;
    return Math.floor(tenths / 600) + ":" + (rest < 100 ? "0" : "") + (rest / 10).toFixed(1);
  }

  // "from 1:05.0 to 1:25.0", for the part of a song a clip is made of.
  const partText = (part) => "from " + formatMs(part.startMs) + " to " + formatMs(part.startMs + part.lengthMs);

  // The kind of sound of that id (clip_kinds.js), a ringtone for any other, and
  // the name its file goes by: "My Song alarm.mp3".
  const clipKind = (id) => (window.QUILLON_CLIP_KINDS || []).find((k) => k.id === id) || { id: "ringtone", label: "Ringtone", noun: "ringtone" };
  const clipFileName = (title, kindId) => title + " " + clipKind(kindId).id + ".mp3";

  // "a:::b:::c" into its items; the empty text has none.
  const splitList = (text) => (text ? text.split(":::") : []);

  // Digits with an optional leading +, spaces, dots, dashes and brackets dropped.
  function normalisePhoneNumber(text) {
    const compact = String(text).replace(/[\s.()-]/g, "");
    return /^\+?[0-9]{5,20}$/.test(compact) ? compact : null;
  }

  /* ---- phones and networks (shared with the compatibility dialog) ---- */

  const phones = [
    { id: "android", label: "Android phone", mp3: true },
    { id: "iphone", label: "iPhone", mp3: true },
    { id: "feature-mp3", label: "Other phone that plays MP3 ringtones", mp3: true },
    { id: "feature-basic", label: "Older phone without MP3 ringtones", mp3: false }
  ];

  const networks = [
    { id: "vodafone", label: "Vodafone" },
    { id: "o2", label: "O2" },
    { id: "ee", label: "EE" },
    { id: "three", label: "Three" },
    { id: "other", label: "Another network" }
  ];

  function findById(list, id) {
    return list.find((item) => item.id === id) || null;
  }

  // The stored choice, or "" while it is "Unknown" (never chosen) or not one we know.
  function storedChoice(getter, list) {
    const ext = host();
    const value = ext ? String(ext[getter]()) : "";
    return findById(list, value) ? value : "";
  }

  function fillSelect(select, list, chosen, placeholder) {
    select.innerHTML = "";
    const first = document.createElement("option");
    first.value = "";
    first.textContent = placeholder;
    select.appendChild(first);
    list.forEach((item) => {
      const option = document.createElement("option");
      option.value = item.id;
      option.textContent = item.label;
      select.appendChild(option);
    });
    select.value = chosen || "";
  }

  /* ---- what each failure means ---- */

  const cdListErrors = {
    "ERROR: No drives found": "No CD drive was found on this computer.",
    "ERROR: Invalid Drive ID": "That drive is no longer there. Press Refresh to look again.",
    "ERROR: Could not get handle to CD": "The drive could not be opened. Another program may be using it.",
    "ERROR: No CD inserted": "There is no disc in this drive, or the disc cannot be read. Insert an audio CD and press Refresh.",
    "ERROR: Not an audio CD": "This disc has no audio tracks to copy."
  };

  // A drive the user may not open names its device and the group that may.
  const deniedDrive = /^ERROR: Could not get handle to CD \((.+), group (.+)\)$/;

  function cdListError(text) {
    if (text.indexOf("ERROR") !== 0) return null;
    const denied = deniedDrive.exec(text);
    if (denied) {
      return "Your account may not use the CD drive " + denied[1] + ". Join the group “" + denied[2] +
        "” (for example: sudo usermod -aG " + denied[2] + " $USER), then log out and log in again.";
    }
    return cdListErrors[text] || "The CD could not be read (" + text.replace(/^ERROR:\s*/, "") + ").";
  }

  const ripError = (code) => jobCodes("rip").words[code] || "Copying from the CD failed (code " + code + ").";
  const normalizeError = (code) =>
    jobCodes("normalize").words[code] || "Levelling the loudness failed (code " + code + ").";
  const transcodeError = "The music could not be turned into an MP3 clip. The file may be damaged, or in a format that cannot be read.";
  // What the host says about a failed conversion (DTE_tsReason); "" or a reason
  // without words of its own gives the general text.
  function transcodeFailure(reason) {
    const reasons = jobCodes("transcode").reasons || {};
    return Object.hasOwn(reasons, reason) ? reasons[reason] : transcodeError;
  }
  const uploadError = "The clip could not be sent: the connection to the service failed or broke off.";

  // The answer of an HTTP request: { ok, words } or { ok:false, message, reason },
  // with clipRefused set when the service will not take this clip at all.
  function readServiceAnswer(text) {
    text = String(text || "").trim();
    if (text.indexOf("ERROR:XMLHTTP") === 0 || text === "")
      return { ok: false, message: "The service could not be reached. Check the internet connection and try again." };
    if (text.indexOf("ERROR") === 0) {
      const reason = text.replace(/^ERROR\s*/, "");
      const refusals = window.QUILLON_SERVICE.refusals;
      const refusal = Object.hasOwn(refusals, reason) ? refusals[reason] : {};
      return {
        ok: false, reason, clipRefused: refusal.clipsOwn === true,
        message: refusal.words || "The service reported a problem: " + reason + "."
      };
    }
    return { ok: true, words: text.split(/\s+/) };
  }

  // Starts an HTTP GET and calls done(text) with the answer.
  function fetchText(url, done) {
    const ext = host();
    if (!ext.DTE_MakeHttpRequest(url)) { done(""); return null; }
    return poll(() => ext.DTE_xhStatus, ended("request"), null, () => done(String(ext.DTE_xhResponse)));
  }

  /* ---- dialogs ---- */

  // A dialog page closes through its button, which starts with the focus. A body
  // taller than the dialog scrolls, and can then be reached by keyboard too.
  function wireCloseButton(button) {
    button.addEventListener("click", () => {
      const ext = host();
      if (ext) ext.DTE_CloseWindow();
    });
    const body = document.querySelector(".dialog-body");
    if (body && body.scrollHeight > body.clientHeight) body.tabIndex = 0;
    button.focus();
    state("dialog " + document.title);
  }

  function openHomepage() {
    const ext = host();
    if (ext) ext.DTE_NavigateURL("homepage");
  }

  function canPlayMp3() {
    try {
      return new Audio().canPlayType("audio/mpeg") !== "";
    } catch {
      return false;
    }
  }

  return {
    host, state, requireHost,
    poll, ended, after, stopAllPolling,
    pageFolder, tempPath, fileUrl, fileName,
    serviceAuthority, serviceUrl,
    framesToTime, formatMs, partText, clipKind, clipFileName, splitList, normalisePhoneNumber,
    phones, networks, findById, storedChoice, fillSelect,
    cdListError, ripError, normalizeError,
    transcodeError, transcodeFailure, uploadError,
    readServiceAnswer, fetchText,
    wireCloseButton, openHomepage, canPlayMp3
  };
})();
