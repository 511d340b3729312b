// A dialog that opens the next level and returns what it got; the first waits to be measured.
const e = window.external, depth = Number(e.DTE_GetDialogArgument());
report("dialog " + depth + " " + window.innerWidth + "x" + window.innerHeight);
setTimeout(() => {
  const got = e.DTE_ShowModalDialog("D" + (depth + 1), "dlg.html", String(depth + 1), 0, 0, 300, 200);
  report("level " + depth + " got [" + got + "]");
  e.DTE_SetDialogRetValue("back " + depth);
  e.DTE_CloseWindow();
}, depth === 1 ? 1500 : 50);
