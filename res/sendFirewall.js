/* Step 4, through the firewall: whether this computer's firewall lets a phone
 * fetch the clip served on the Wi-Fi, and opening its port for as long as it is
 * served. Where no firewall stands in the way, nothing is shown. */
(() => {
  "use strict";

  const S = Song;
  const Q = Quillon;
  const { $ } = Dom;
  const ext = Q.host();
  let watch = null;

  const words = {
    2: "This computer's firewall stops phones from fetching it.",
    3: "Waiting for the firewall: it may ask for your password\u2026",
    4: "This computer's firewall (ufw) may stop phones from fetching it. To let them in, run this in a terminal:",
    101: "Phones on this network may now fetch it, for as long as the code is shown.",
    201: "The firewall was not opened: permission was refused. Phones may not get through; the other ways still work.",
    202: "The firewall could not be opened. Phones may not get through; the other ways still work."
  };

  function show(status) {
    const text = words[status] || "";
    $("firewall").hidden = !text;
    $("firewall-text").textContent = text;
    $("firewall-command").textContent = status === 4 ? String(ext.DTE_fwResponse) : "";
    $("firewall-command").hidden = status !== 4;
    $("firewall-allow").hidden = status !== 2;
    $("firewall-allow").disabled = false;
  }

  // Follows the firewall's status until it stops changing on its own.
  function follow() {
    if (watch) watch.stop();
    watch = Q.poll(() => Number(ext.DTE_fwStatus), Q.ended("firewall"), null, (v) => {
      show(v);
      Q.state("firewall " + v);
    }, 200);
  }

  function allow() {
    if (!ext.DTE_AllowFirewallPort()) return;
    show(3);
    $("firewall-text").focus();
    follow();
  }

  function wire() {
    $("firewall-allow").addEventListener("click", allow);
    if (typeof ext.DTE_fwStatus !== "undefined") S.steps.send.whenServed(() => { show(0); follow(); });
  }

  function stop() {
    if (watch) watch.stop();
    show(0);
  }

  S.steps.sendFirewall = {
    view: "send", wire, leave: stop,
    resume: () => { if (!$("wifi-live").hidden && typeof ext.DTE_fwStatus !== "undefined") follow(); }
  };
})();
