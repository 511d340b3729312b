// Tells how many fade lengths the host takes: one without the loudness member, which came with the second.
console.log("QTEST host fades " + (typeof window.external.DTE_norLoudness === "undefined" ? 1 : 2));
