/* The About dialog: the version with the host's build, the homepage, Close. */
(() => {
  "use strict";

  const ext = Quillon.host();
  const version = document.getElementById("version");
  if (ext) version.textContent = "Version " + version.getAttribute("data-version") + " (build " + ext.DTE_GetVersion() + ")";
  document.getElementById("homepage").addEventListener("click", Quillon.openHomepage);
  Quillon.wireCloseButton(document.getElementById("close"));
})();
