// Frames a remote page, then tries to leave for a file outside res/ (OUTSIDE) and for a remote page (BASE).
var frame = document.createElement('iframe');
frame.src = BASE + '/to-framed';
document.body.appendChild(frame);
setTimeout(function () { location.href = OUTSIDE; }, 1500);
setTimeout(function () { location.href = BASE + '/to-remote'; }, 3000);
