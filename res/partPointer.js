/* The part step's pointer and wheel: handles move an edge or a fade, the part
 * moves whole, a drag beside it pans, a click beside it brings the part there,
 * the overview strip shows another span; Ctrl+wheel (and a touchpad's pinch)
 * zooms around the pointer and the wheel pans. Changes go to the controller. */
const PartPointer = (() => {
  "use strict";

  const shortestMs = 1000;  // the clip job's shortest part
  const snapReachMs = 150;  // an edge dragged settles on the quietest instant this near
  const fadeStepMs = 100;

  // c: { ready(), model(), span, part, fades, setPart(startMs, lengthMs), setFades(inMs, outMs),
  //      changed(), fadesChanged(), zoomed(), draw() }
  function wire(canvas, c) {
    let drag = null; // { what, x, fromMs, grabMs, moved }

    // The event's place in canvas pixels.
    function pointAt(event) {
      const box = canvas.getBoundingClientRect();
      return {
        x: ((event.clientX - box.left) / box.width) * canvas.width,
        y: ((event.clientY - box.top) / box.height) * canvas.height
      };
    }

    // Pointer times fall on hundredths when zoomed in, else on tenths.
    const roundMs = (ms) => (c.span.msPerPx < 100 ? Math.round(ms / 10) * 10 : Math.round(ms / 100) * 100);

    function grab(event) {
      if (event.button !== 0 || !c.ready()) return;
      const { x, y } = pointAt(event);
      const what = WaveView.hit(c.model(), canvas.height, x, y);
      drag = { what, x, fromMs: c.span.fromMs, grabMs: c.span.msAt(x) - c.part.startMs, moved: false };
      canvas.setPointerCapture(event.pointerId);
      canvas.focus();
      event.preventDefault();
      if (what === "strip") pull(event);
    }

    function pull(event) {
      const { x, y } = pointAt(event);
      if (!drag) {
        const what = c.ready() ? WaveView.hit(c.model(), canvas.height, x, y) : "pan";
        canvas.style.cursor = what === "strip" ? "pointer" : what === "move" || what === "pan" ? "grab" : "ew-resize";
        return;
      }
      drag.moved = drag.moved || Math.abs(x - drag.x) > 3;
      const span = c.span;
      const at = span.msAt(x);
      const end = c.part.startMs + c.part.lengthMs;
      // An edge settles on the quietest instant near the pointer; Alt leaves it where it is.
      const edge = (ms) => (event.altKey ? roundMs(ms) : WaveData.quietest(c.model().data, roundMs(ms), snapReachMs));
      const fade = (ms) => Math.round(ms / fadeStepMs) * fadeStepMs;
      const moves = {
        strip: () => {
          span.set((x / canvas.width) * span.durationMs - (canvas.width * span.msPerPx) / 2, span.msPerPx);
          c.draw();
        },
        pan: () => {
          span.set(drag.fromMs - (x - drag.x) * span.msPerPx, span.msPerPx);
          c.draw();
        },
        move: () => c.setPart(roundMs(at - drag.grabMs), c.part.lengthMs),
        end: () => c.setPart(c.part.startMs, edge(at) - c.part.startMs),
        start: () => {
          const startMs = Math.min(edge(at), end - shortestMs);
          c.setPart(startMs, end - startMs);
        },
        "fade-in": () => c.setFades(fade(at - c.part.startMs), c.fades.outMs),
        "fade-out": () => c.setFades(c.fades.inMs, fade(end - at))
      };
      moves[drag.what]();
    }

    function release(event) {
      if (!drag) return;
      // Moves can be merged away; where the button comes up is where the drag ends.
      if (event.type === "pointerup") pull(event);
      const was = drag;
      drag = null;
      if (was.what === "pan" && !was.moved) {
        // A click beside the part brings the part there, centred on the click.
        c.setPart(roundMs(c.span.msAt(pointAt(event).x) - c.part.lengthMs / 2), c.part.lengthMs);
        c.changed();
      } else if (was.what.startsWith("fade")) {
        c.fadesChanged();
      } else if (was.what !== "pan" && was.what !== "strip") {
        c.changed();
      }
    }

    function wheel(event) {
      if (!c.ready()) return;
      event.preventDefault();
      const unit = event.deltaMode === 1 ? 40 : event.deltaMode === 2 ? canvas.width : 1;
      const { x } = pointAt(event);
      const span = c.span;
      if (event.ctrlKey) {
        const factor = Math.exp(Math.min(Math.max(event.deltaY * unit, -200), 200) * 0.01);
        if (span.zoomAround(span.msAt(x), x, factor)) c.zoomed();
        return;
      }
      const delta = (Math.abs(event.deltaX) > Math.abs(event.deltaY) ? event.deltaX : event.deltaY) * unit;
      span.set(span.fromMs + delta * span.msPerPx, span.msPerPx);
      c.draw();
    }

    canvas.addEventListener("pointerdown", grab);
    canvas.addEventListener("pointermove", pull);
    canvas.addEventListener("pointerup", release);
    canvas.addEventListener("pointercancel", release);
    canvas.addEventListener("wheel", wheel, { passive: false });
  }

  return { wire };
})();
