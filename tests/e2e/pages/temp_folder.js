// Reports the temporary folder given in the address after a transcode there; a copy started with a file then closes.
const tmp = decodeURIComponent((/[?&]tmp=([^&#]*)/.exec(location.search) || ["", ""])[1]);
window.external.DTE_TranscodeMedia(tmp + "/missing.wav", tmp + "/clip.mp3");
poll("DTE_tsStatus", (v) => v === 1 || v === 2, () => {
  report("tmp " + tmp);
  if (window.external.DTE_clFileName) window.external.DTE_CloseWindow();
});
