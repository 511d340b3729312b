/* Step 1: pick the music, a file or a track from an audio CD. */
(() => {
  "use strict";

  const S = Song;
  const Q = Quillon;
  const { $, message } = Dom;
  const ext = Q.host();
  let offered = "";  // a handed-over file waiting for the user's word

  function useFile(path) {
    if (!path) return;
    Q.state("chose file");
    S.picked({ kind: "file", path, label: Q.fileName(path) });
  }

  // The file the app was started with, and any handed over later. Away from this
  // step, taking it at once would throw away the work in progress: the screen the
  // user is on says that it arrived and offers to use it.
  function takeCommandLineFile() {
    const path = String(ext.DTE_clFileName || "");
    if (!path) return;
    if (S.showing() === "pick") {
      useFile(path);
      return;
    }
    offered = path;
    $("arrived-text").textContent = "\u201C" + Q.fileName(path) + "\u201D has arrived.";
    $("arrived").hidden = false;
    $("arrived-use").focus();
    Q.state("file arrived " + path);
  }

  function dismissOffer() {
    offered = "";
    $("arrived").hidden = true;
  }

  function useOffered() {
    const path = offered;
    dismissOffer();
    S.stopJobs();
    useFile(path);
  }

  // Back on this step, a file still on offer is taken, once the step is shown.
  function enter() {
    if (offered) setTimeout(useOffered, 0);
  }

  // A drive can take seconds to answer while it spins up, and the page waits for it:
  // say so, let the page paint, then ask.
  function whileReading(ask) {
    message("cd-message", "Reading the disc…");
    Q.state("listing the disc");
    $("use-track").disabled = true;
    requestAnimationFrame(() => setTimeout(ask, 0));
  }

  const listDrives = () => whileReading(() => {
    const select = $("drive");
    const text = String(ext.DTE_GetDrivesInfo());
    const error = Q.cdListError(text);
    select.innerHTML = "";
    select.hidden = !!error;
    if (error) {
      showTracks([], error);
      return;
    }
    Q.splitList(text).forEach((name, index) => {
      const option = document.createElement("option");
      option.value = String(index);
      option.textContent = name.trim() || "CD drive " + (index + 1);
      select.appendChild(option);
    });
    listTracks();
  });

  const listTracks = () => whileReading(() => {
    const drive = parseInt($("drive").value, 10);
    const text = String(ext.DTE_GetTracksInfo(drive));
    const error = Q.cdListError(text);
    showTracks(error ? [] : Q.splitList(text), error);
  });

  const trackLength = (item) => (item === "DATA" ? "data track" : Q.framesToTime(parseInt(item, 10)));

  function showTracks(items, error) {
    const list = $("tracks");
    list.innerHTML = "";
    let firstAudio = null;
    items.forEach((item, index) => {
      const data = item === "DATA";
      const row = document.createElement("label");
      row.className = "track" + (data ? " data" : "");
      const radio = document.createElement("input");
      radio.type = "radio";
      radio.name = "track";
      radio.value = String(index);
      radio.disabled = data;
      const name = document.createElement("span");
      name.className = "name";
      name.textContent = "Track " + (index + 1);
      const length = document.createElement("span");
      length.className = "len";
      length.textContent = trackLength(item);
      row.append(radio, name, length);
      list.appendChild(row);
      if (!data && !firstAudio) firstAudio = radio;
    });
    if (firstAudio) firstAudio.checked = true;
    if (items.length) {
      Q.state("tracks " + items.map((item, index) => (index + 1) + " " + (item === "DATA" ? "data" : trackLength(item))).join(", "));
    }
    $("use-track").disabled = !firstAudio;
    message("cd-message", error || (items.length && !firstAudio ? "This disc holds only data tracks, no music." : ""));
  }

  function useTrack() {
    const checked = document.querySelector("#tracks input:checked");
    if (!checked) return;
    const drive = $("drive");
    const track = parseInt(checked.value, 10);
    Q.state("chose cd");
    S.picked({
      kind: "cd", drive: parseInt(drive.value, 10), track,
      label: "Track " + (track + 1) + " of the CD in " + drive.options[drive.selectedIndex].textContent
    });
  }

  function wire() {
    $("choose-file").addEventListener("click", () => useFile(String(ext.DTE_SelectMediaFile())));
    $("refresh").addEventListener("click", listDrives);
    $("drive").addEventListener("change", listTracks);
    $("use-track").addEventListener("click", useTrack);
    // Enter on a track starts at once; its default action would otherwise land on
    // the button that takes the focus next.
    $("tracks").addEventListener("keydown", (e) => {
      if (e.key !== "Enter") return;
      e.preventDefault();
      useTrack();
    });
    $("tracks").addEventListener("dblclick", useTrack);
    $("arrived-use").addEventListener("click", useOffered);
    $("arrived-dismiss").addEventListener("click", dismissOffer);
    setInterval(takeCommandLineFile, 1500);
    listDrives();
  }

  S.steps.pick = { view: "pick", wire, enter, takeCommandLineFile };
})();
