// The show's page: loads the embedded module, asset file, tick table and music, and on each
// display frame runs one pass of the show at the tick being heard. The music was mixed by
// quab-export on the show's sample clock (the show description's samples_per_tick at rate_hz),
// and the table holds the song position and row the mix had at each tick, so a pass here is the
// pass quab-render runs for the same tick.
"use strict";

// The show's clock, frame size and scenes, written into the page by quab-export from the
// programs' own definitions. A pass returns SCENE_END once the show has ended.
const show = JSON.parse(document.getElementById("show").textContent);
const RATE_HZ = show.rate_hz;
const SAMPLES_PER_TICK = show.samples_per_tick;
const SCENE_END = show.scenes.length;
const canvas = document.getElementById("screen");
canvas.width = show.width;
canvas.height = show.height;
const context2d = canvas.getContext("2d");
const note = document.getElementById("note");
const playButton = document.getElementById("play");

let wasm = null;     // the module's exports
let frameImage = null; // an ImageData over the module's RGBA frame
let ticks = null;    // Uint16Array: song position, row for each tick of the mix
let tickCount = 0;
let soundBuffer = null; // the decoded mix, or null when it cannot be played
let audio = null;    // AudioContext while playing with sound
let source = null;   // the AudioBufferSourceNode playing now
let silent = false;  // on the page's clock instead of the sound's
let started = false;
let paused = false;
let ended = false;
// Where the clock stands: offsetS seconds into the mix at the moment startS of the clock that
// runs (the audio context's time, or performance.now() in seconds without sound).
let offsetS = 0;
let startS = 0;
let lastTitle = "";
let shownScene = 0;    // what the last pass showed, for the title
let shownPosition = 0;

// "#test" in the address: a record of every pass (and of every restart) for the tests, which
// also may drive the clock themselves; nothing of it runs otherwise.
const testing = location.hash === "#test";
const testHooks = testing ? { record: [], drive: false } : null;
if (testing) window.quabTest = testHooks;

function bytesOf(id) {
    const text = atob(document.getElementById(id).textContent.trim());
    const bytes = new Uint8Array(text.length);
    for (let i = 0; i < text.length; i++) bytes[i] = text.charCodeAt(i);
    return bytes;
}

async function gunzip(bytes) {
    const stream = new Blob([bytes]).stream().pipeThrough(new DecompressionStream("gzip"));
    return new Uint8Array(await new Response(stream).arrayBuffer());
}

async function load() {
    // startShow (web/start.js, appended to this script by the build) makes the views after the
    // module's last memory growth.
    wasm = await startShow(bytesOf("wasm"), await gunzip(bytesOf("assets")));
    if (!wasm) throw new Error("the asset file does not load");
    frameImage = new ImageData(
        new Uint8ClampedArray(wasm.memory.buffer, wasm.web_rgba(), show.width * show.height * 4),
        show.width, show.height);
    const table = await gunzip(bytesOf("ticks"));
    ticks = new Uint16Array(table.buffer, 0, table.length >> 1);
    tickCount = ticks.length >> 1;
    // Decoded ahead of the click (an offline context needs no gesture) and resampled to the
    // show's rate, so that a sample of the buffer is a sample of the mix.
    try {
        const decoder = new OfflineAudioContext(2, 1, RATE_HZ);
        soundBuffer = await decoder.decodeAudioData(bytesOf("sound").buffer);
    } catch (e) {
        soundBuffer = null;
    }
}

// Seconds into the mix heard now: the sound's output timestamp where the browser gives one
// (the context time leaving the speakers, carried forward to now), else the context time less
// the output's latencies; the page's clock without sound.
function heardSeconds() {
    if (paused || !started) return offsetS;
    let now;
    if (silent) {
        now = performance.now() / 1000;
    } else {
        const stamp = audio.getOutputTimestamp ? audio.getOutputTimestamp() : null;
        if (stamp && stamp.performanceTime > 0) {
            now = stamp.contextTime + (performance.now() - stamp.performanceTime) / 1000;
            now = Math.min(now, audio.currentTime);
        } else {
            now = audio.currentTime - (audio.outputLatency || 0) - (audio.baseLatency || 0);
        }
    }
    // Just after a start or a jump the output still plays what came before it.
    return offsetS + Math.max(0, now - startS);
}

function clockNow() {
    return silent ? performance.now() / 1000 : audio.currentTime;
}

// Plays the mix from offsetS on: a new source node for each start, as a node plays only once.
function startClock() {
    if (silent) {
        startS = clockNow();
        return;
    }
    if (source) source.stop();
    source = audio.createBufferSource();
    source.buffer = soundBuffer;
    source.connect(audio.destination);
    // A moment ahead, so that the node starts exactly when startS says.
    startS = audio.currentTime + 0.02;
    source.start(startS, offsetS);
}

function stopClock() {
    offsetS = heardSeconds();
    if (source) {
        source.stop();
        source = null;
    }
}

function tickAt(seconds) {
    return Math.floor(Math.floor(seconds * RATE_HZ + 1e-6) / SAMPLES_PER_TICK);
}

// The title names the scene, as quab-play's window title does.
function setTitle() {
    const shown = Math.min(shownScene, SCENE_END - 1);
    const title = "QUAB: Scene " + (shown + 1) + ", " + show.scenes[shown] +
        " (position " + shownPosition + ")" + (paused ? " - paused" : "");
    if (title !== lastTitle) document.title = lastTitle = title;
}

// One pass of the show at a tick of the mix, drawn to the canvas.
function passAt(tick) {
    const position = ticks[2 * tick];
    const row = ticks[2 * tick + 1];
    shownScene = wasm.web_pass(tick, position, row);
    shownPosition = position;
    if (testing) {
        testHooks.record.push([tick, position, row]);
        if (testHooks.firstFrameMs === undefined) testHooks.firstFrameMs = performance.now();
    }
    context2d.putImageData(frameImage, 0, 0);
    setTitle();
    return shownScene;
}

// The show's end: the last frame stays, with the line the programs print.
function finish(seconds) {
    ended = true;
    stopClock();
    const whole = Math.floor(Math.floor(seconds * 1024) / 1024);
    note.textContent = "Total playtime: " + Math.floor(whole / 60) % 60 + ":" + whole % 60;
}

function onDisplayFrame() {
    if (ended) return;
    requestAnimationFrame(onDisplayFrame);
    if (paused || (testing && testHooks.drive)) return;
    const seconds = heardSeconds();
    const tick = tickAt(seconds);
    // The mix ends where the first tick past the show (or the song) would start.
    if (tick >= tickCount) {
        finish(tickCount * SAMPLES_PER_TICK / RATE_HZ);
        return;
    }
    if (passAt(tick) === SCENE_END) finish(seconds);
}

// A song position back or on: the mix from the first tick at that position (or the end), and
// the show afresh from there, as quab-play starts it after a jump.
function jump(step) {
    const heard = Math.min(tickAt(heardSeconds()), tickCount - 1);
    const target = Math.max(0, ticks[2 * heard] + step);
    let tick = 0;
    while (tick < tickCount && ticks[2 * tick] < target) tick++;
    if (tick >= tickCount) tick = tickCount - 1;
    if (testing) testHooks.record.push("restart");
    wasm.web_restart();
    if (source) source.stop();
    source = null;
    offsetS = tick * SAMPLES_PER_TICK / RATE_HZ;
    if (paused) passAt(tick);
    else startClock();
}

// Sound and picture stop together; the clock stands where it was heard, and goes on from there.
async function togglePause() {
    if (!paused) {
        stopClock();
        paused = true;
        setTitle();
        if (!silent) await audio.suspend();
    } else {
        if (!silent) await audio.resume();
        startClock();
        paused = false;
        setTitle();
    }
}

function toggleFullScreen() {
    if (document.fullscreenElement) document.exitFullscreen();
    else document.documentElement.requestFullscreen().catch(() => {});
}

// The largest size of the frame's shape that fits the window, centred; the canvas keeps the
// frame's pixels.
function fit() {
    const w = Math.min(innerWidth, innerHeight * show.width / show.height);
    const h = w * show.height / show.width;
    canvas.style.width = w + "px";
    canvas.style.height = h + "px";
    canvas.style.left = (innerWidth - w) / 2 + "px";
    canvas.style.top = (innerHeight - h) / 2 + "px";
}

// The first click or key: sound needs a gesture. Without a way to play it the show runs on the
// page's clock and says so.
async function start(event) {
    if (started || !wasm) return;
    if (testing) testHooks.startMs = event ? event.timeStamp : performance.now();
    document.getElementById("start").style.display = "none";
    canvas.hidden = false;
    fit();
    // The first frame at once, at the start of the mix where nothing is heard yet, and shown
    // before the sound output is set up, which can take a good part of a second.
    passAt(tickAt(offsetS));
    await new Promise((resolve) => requestAnimationFrame(() => setTimeout(resolve)));
    if (soundBuffer) {
        try {
            audio = new AudioContext({ sampleRate: RATE_HZ, latencyHint: "playback" });
        } catch (e) {
            audio = null;
        }
    }
    silent = !audio;
    started = true;
    // The show starts at once: until the sound is heard the clock stands at its start.
    startClock();
    requestAnimationFrame(onDisplayFrame);
    // Made in the gesture the context usually runs at once; a browser that holds it back gets a
    // second to let it go, then the show goes on the page's clock.
    if (audio && audio.state !== "running") {
        await Promise.race([audio.resume(), new Promise((r) => setTimeout(r, 1000))]);
        if (audio.state !== "running") {
            source.stop();
            source = null;
            audio.close();
            audio = null;
            silent = true;
            startClock();
        }
    }
    if (silent) note.textContent = "No sound here: the show plays on the page's clock.";
}

function onKey(event) {
    if (!started) {
        start(event);
        return;
    }
    if (ended || event.repeat && event.key === " ") return;
    if (event.key === "f" || event.key === "F") toggleFullScreen();
    else if (event.key === " ") togglePause();
    else if (event.key === "ArrowLeft") jump(-1);
    else if (event.key === "ArrowRight") jump(1);
    else return;
    event.preventDefault();
}

addEventListener("resize", fit);
addEventListener("keydown", onKey);
playButton.addEventListener("click", start);
canvas.addEventListener("dblclick", toggleFullScreen);
if (testing) {
    testHooks.passAt = passAt;
    testHooks.heardSeconds = heardSeconds;
    testHooks.start = start;
    testHooks.audioTime = () => (audio ? audio.currentTime : null);
    testHooks.restart = () => {
        testHooks.record.push("restart");
        wasm.web_restart();
    };
}
load().then(
    () => {
        playButton.disabled = false;
        playButton.textContent = "Play";
        if (testing) testHooks.ready = true;
    },
    (e) => {
        playButton.textContent = "Cannot play";
        note.textContent = "The show cannot start: " + e.message;
        console.error(e);
    });
