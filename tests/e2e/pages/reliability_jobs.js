// Starts every job on IN, OUT and DIR; "c" breaks them, "q" closes the window.
var e = window.external, service = new URLSearchParams(location.search).get('service');
report('started ' + [e.DTE_TranscodeMedia(IN, OUT), e.DTE_NormalizeAudio(DIR + 'gain.mp3'),
                     e.DTE_UploadFile(DIR + 'big.mp3', 'sid'), e.DTE_MakeHttpRequest('http://' + service + '/x')]);
poll('DTE_upStatus', function (v) { return v > 0; }, function (v) { report('uploading ' + (v < 100)); });
document.addEventListener('keydown', function (k) {
    if (k.key === 'q') { report('closing ' + e.DTE_xhStatus); e.DTE_CloseWindow(); }
    if (k.key !== 'c') return;
    e.DTE_BreakAsyncOperation();
    poll('DTE_tsStatus', function (v) { return v !== 0; }, function (v) { report('cancelled ' + v); });
});
