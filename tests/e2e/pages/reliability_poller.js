// Reads every status as fast as it can.
var e = window.external, polls = 0;
setInterval(function () {
    for (var k = 0; k < 10; k++, polls++)
        void (e.DTE_xhStatus + e.DTE_tsStatus + e.DTE_upStatus + e.DTE_ripStatus + e.DTE_norStatus + e.DTE_xhResponse);
    if (polls % 500 == 0) report('polled ' + polls);
}, 1);
