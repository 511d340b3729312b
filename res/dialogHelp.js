/* The help dialogs: Close, and on the questions page a way to write to us. */
(() => {
  "use strict";

  const write = document.getElementById("write");
  if (write) {
    write.addEventListener("click", () => {
      const ext = Quillon.host();
      if (ext) ext.DTE_NavigateURL("contact");
    });
  }
  Quillon.wireCloseButton(document.getElementById("close"));
})();
