// Before every test page's program: report(t) writes "QTEST t" to the console, which the harness reads;
// poll(name, ended, then) reads a status property every 20 ms until ended(value).
function report(t) { console.log("QTEST " + t); }
function poll(name, ended, then) {
  const timer = setInterval(() => { const value = window.external[name]; if (ended(value)) { clearInterval(timer); then(value); } }, 20);
}
