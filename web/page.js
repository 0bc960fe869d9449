// The show's page: loads the embedded module, asset file, tick table and music, and on each
// display frame runs one pass of the show at the tick being heard. The music was mixed by
// quab-export on the show's sample clock (the show description's samples_per_tick at rate_hz),
// and the table holds the song position and row the mix had at each tick, so a pass here is the
// pass quab-render runs for the same tick. A jump goes through the module's exact seek over the
// same table: the frame after it is the one the show played straight through from its start has
// at that tick.
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
let shownTick = 0;
let seekBuilt = false;  // the module's seek index is whole

// "#test" in the address: a record of every pass (and of every restart) for the tests, which
// also may drive the clock themselves; nothing of it runs otherwise.
const testing = location.hash === "#test";
const testHooks = testing ? { record: [], drive: false } : null;
if (testing) window.quabTest = testHooks;

// A hash of every frame shown, for the tests only: FNV-1a over its RGBA words.
function fnv(words) {
    let h = 0x811c9dc5;
    for (let i = 0; i < words.length; i++) h = Math.imul(h ^ words[i], 0x01000193);
    return h >>> 0;
}

function canvasHash() {
    if (!testHooks.hashFrames) return [];
    const data = context2d.getImageData(0, 0, show.width, show.height).data;
    return [fnv(new Uint32Array(data.buffer, data.byteOffset, show.width * show.height))];
}

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
    // startShow (web/start.js, appended to this script by the build) instantiates the module
    // and starts the show over the asset file. The module's memory grows as the seek index
    // fills; each growth detaches the views made before it, so the frame's view is made again
    // where it was (frameView).
    const assetBytes = await gunzip(bytesOf("assets"));
    if (testing) testHooks.assetBytes = assetBytes;
    wasm = await startShow(bytesOf("wasm"), assetBytes);
    if (!wasm) throw new Error("the asset file does not load");
    const table = await gunzip(bytesOf("ticks"));
    ticks = new Uint16Array(table.buffer, 0, table.length >> 1);
    tickCount = ticks.length >> 1;
    // The module keeps its own copy of the table for the seek index, built between frames.
    const tableAt = wasm.web_buffer(table.length);
    if (!tableAt) throw new Error("out of memory for the tick table");
    new Uint8Array(wasm.memory.buffer, tableAt, table.length).set(table);
    if (!wasm.web_seek_start(tableAt, tickCount)) throw new Error("out of memory for seeking");
    setTimeout(buildSeekIndex);
    // Decoded ahead of the click (an offline context needs no gesture) and resampled to the
    // show's rate, so that a sample of the buffer is a sample of the mix.
    try {
        const decoder = new OfflineAudioContext(2, 1, RATE_HZ);
        soundBuffer = await decoder.decodeAudioData(bytesOf("sound").buffer);
    } catch (e) {
        soundBuffer = null;
    }
}

// Runs the module's seek index on for about 8 ms at a time, between the display's frames, until
// it covers the whole table. A seek before that builds what it needs at once.
function buildSeekIndex() {
    const start = performance.now();
    if (testing && testHooks.seekBuildStartMs === undefined) testHooks.seekBuildStartMs = start;
    let done = 0;
    while (done === 0 && performance.now() - start < 8) done = wasm.web_seek_build(64);
    if (done < 0) throw new Error("out of memory for seeking");
    if (done === 0) {
        setTimeout(buildSeekIndex);
        return;
    }
    seekBuilt = true;
    if (testing) testHooks.seekBuiltMs = performance.now();
}

// The module's RGBA frame as ImageData, made again after the memory has grown.
function frameView() {
    if (!frameImage || frameImage.data.buffer !== wasm.memory.buffer)
        frameImage = new ImageData(
            new Uint8ClampedArray(wasm.memory.buffer, wasm.web_rgba(), show.width * show.height * 4),
            show.width, show.height);
    return frameImage;
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
    shownTick = tick;
    context2d.putImageData(frameView(), 0, 0);
    if (testing) {
        testHooks.record.push([tick, position, row, ...canvasHash()]);
        if (testHooks.firstFrameMs === undefined) testHooks.firstFrameMs = performance.now();
    }
    setTitle();
    return shownScene;
}

// The show at a tick of the mix, exactly as played straight through from its start, drawn to
// the canvas; the passes after it go on from there.
function seekAt(tick) {
    const scene = wasm.web_seek(tick);
    if (scene < 0) throw new Error("out of memory for seeking");
    shownScene = scene;
    shownPosition = ticks[2 * tick];
    shownTick = tick;
    context2d.putImageData(frameView(), 0, 0);
    if (testing) testHooks.record.push(["seek", tick, shownPosition, ...canvasHash()]);
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

// A song position back or on from the one shown: the mix and the show from the first tick at
// that position (or the end).
function jump(step) {
    const target = Math.max(0, ticks[2 * Math.min(shownTick, tickCount - 1)] + step);
    let tick = 0;
    while (tick < tickCount && ticks[2 * tick] < target) tick++;
    seekTo(Math.min(tick, tickCount - 1));
}

// Moves the show and its sound to a tick of the mix (the entry a seek bar uses): the frame at
// once, the sound from there unless paused.
function seekTo(tick) {
    tick = Math.max(0, Math.min(Math.floor(tick), tickCount - 1));
    if (source) source.stop();
    source = null;
    offsetS = tick * SAMPLES_PER_TICK / RATE_HZ;
    seekAt(tick);
    if (!paused && started) startClock();
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
    testHooks.seekTo = seekTo;
    // The straight run the seeks are held to, on a second instance of the module: for each
    // entry of a record, a seek to t as one pass per tick from tick 0 to t after a restart, a
    // pass as the pass; the hash of each frame.
    testHooks.straightRun = async (entries) => {
        const other = await startShow(bytesOf("wasm"), testHooks.assetBytes);
        const pass = (t, p, r) => other.web_pass(t, p, r);
        const hashes = [];
        for (const e of entries) {
            if (e === "restart") continue;
            if (e[0] === "seek") {
                other.web_restart();
                for (let t = 0; t <= e[1]; t++) pass(t, ticks[2 * t], ticks[2 * t + 1]);
            } else {
                pass(e[0], e[1], e[2]);
            }
            hashes.push(fnv(new Uint32Array(other.memory.buffer, other.web_rgba(), show.width * show.height)));
        }
        return hashes;
    };
    testHooks.jump = jump;
    testHooks.seekBuilt = () => seekBuilt;
    testHooks.shownTick = () => shownTick;
    testHooks.canvasHash = () => {
        const data = context2d.getImageData(0, 0, show.width, show.height).data;
        return fnv(new Uint32Array(data.buffer, data.byteOffset, show.width * show.height));
    };
    // One pass a tick from the tick shown on, as the show played straight through has them.
    testHooks.play = (n) => {
        for (let i = 0; i < n && shownTick + 1 < tickCount; i++) passAt(shownTick + 1);
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
