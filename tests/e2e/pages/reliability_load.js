// Forty rounds of starting every job (in DIR, the network ones against HOST), polling and breaking,
// while poller.html polls in a frame.
var e = window.external, round = 0, refused = 0, drive = String(e.DTE_GetDrivesInfo().split(':::').length - 1);
function one() {
    var n = round % 3;
    [e.DTE_MakeHttpRequest('http://' + HOST + '/cgi-bin/dte_status.cgi'),
     e.DTE_TranscodeMedia(DIR + 'in' + n + '.wav', DIR + 'out' + n + '.mp3'),
     e.DTE_UploadFile(DIR + 'clip.mp3', 'sid' + round),
     e.DTE_GrabAudioDataFromCD(drive, '1', DIR + 'rip' + n + '.wav'),
     e.DTE_NormalizeAudio(DIR + 'out' + n + '.mp3')].forEach(function (s) { if (!s) refused++; });
    for (var p = 0; p < 5; p++)
        void (e.DTE_xhStatus + e.DTE_tsStatus + e.DTE_upStatus + e.DTE_ripStatus + e.DTE_norStatus);
    e.DTE_BreakAsyncOperation();
    if (++round == 10) report('warm');
    if (round < 40) setTimeout(one, 2); else report('done ' + refused);
}
var frame = document.createElement('iframe');
frame.src = 'poller.html';
document.body.appendChild(frame);
setTimeout(one, 500);
