// The dialogs' start page: the homepage at once; on "d" the nested dialogs, then five message boxes and a chooser.
const e = window.external, styles = [0x24, 0x24, 0x124, 0, 3];
let box = 0;
e.DTE_NavigateURL("help & faq");
function next() {
  if (box < styles.length) report("box " + box + " " + e.DTE_MessageBox("Question " + box + "?", styles[box++]));
  else if (box++ === styles.length) report("chosen [" + e.DTE_SelectMediaFile() + "]");
  else return e.DTE_CloseWindow();
  setTimeout(next, 100);
}
document.addEventListener("keydown", (k) => {
  if (k.key !== "d") return;
  report("main got [" + e.DTE_ShowModalDialog("D1", "dlg.html", "1", 100, 100, 700, 520) + "]");
  setTimeout(next, 100);
});
report("asked");
