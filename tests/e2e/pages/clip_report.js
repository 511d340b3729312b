// Reports the address step 4 shows for the phone (the page itself never states it), with the clip's loudness.
setInterval(() => {
  const shown = document.getElementById("wifi-address").textContent;
  if (shown && shown !== window.reported)
    console.log("QTEST address " + (window.reported = shown) + " " + document.getElementById("clip-loudness").textContent);
}, 50);
