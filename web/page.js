// The show's page: loads the embedded module, asset file, tick table and music, and on each
// display frame runs one pass of the show at the tick being heard. The music was mixed by
// quab-export on the show's sample clock (the show description's samples_per_tick at rate_hz),
// and the table holds the song position and row the mix had at each tick, so a pass here is the
// pass quab-render runs for the same tick. A jump goes through the module's exact seek over the
// same table: the frame after it is the one the show played straight through from its start has
// at that tick.
"use strict";

// The show's clock, frame size, scenes and the song position each scene starts at, written into
// the page by quab-export from the programs' own definitions. A pass returns SCENE_END once the
// show has ended. Read in load(), so that a damaged description is reported, not thrown here.
let show = null;
let RATE_HZ = 0;
let SAMPLES_PER_TICK = 0;
let SCENE_END = 0;
const canvas = document.getElementById("screen");
const context2d = canvas.getContext("2d");
const note = document.getElementById("note");
const playButton = document.getElementById("play");
const bar = document.getElementById("bar");
const track = document.getElementById("track");

let wasm = null;     // the module's exports
let frameImage = null; // an ImageData over the module's RGBA frame
let ticks = null;    // Uint16Array: song position, row for each tick of the mix
let tickCount = 0;
// The sound: the first seconds decoded before Play (prefix, heard up to prefixEndS; then a
// longer part), then the whole mix decoded while the show plays; each swapped in sample-exact. Each as an
// AudioBuffer at the show's rate, so that a sample of the buffer is a sample of the mix.
let prefix = null;
let prefixEndS = 0;
let whole = null;
let soundDamage = "";  // what is wrong with the sound block, said in the note
let audio = null;    // the AudioContext, made on the first click and kept
let source = null;   // the AudioBufferSourceNode playing now, and its buffer
let sourceBuffer = null;
let sourceStartFrame = 0; // the context frame it starts at and the mix frame it starts from
let sourceOffsetFrame = 0;
let silent = true;   // on the page's clock instead of the sound's
let silentSinceMs = 0;
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
let shownTick = -1;    // the tick whose frame is on the canvas, -1 before the first
let seekBuilt = false;  // the module's seek index is whole

// "#test" in the address: a record of every pass (and of every restart) for the tests, which
// also may drive the clock themselves; nothing of it runs otherwise.
const testing = location.hash === "#test";
const testHooks = testing ? { record: [], drive: false, stages: [], swaps: [], parts: [] } : null;
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

// A failure of the page's own parts, said as which part is damaged.
function damaged(what) {
    return new Error("the page is damaged: " + what);
}

// An embedded block's bytes; its text is dropped from the page once read, as nothing reads it
// again. "what" names the block in the message when it is not base64.
function bytesOf(id, what) {
    const element = document.getElementById(id);
    let bytes;
    try {
        const text = element.textContent;
        if (Uint8Array.fromBase64) {
            bytes = Uint8Array.fromBase64(text.trim());
        } else {
            const binary = atob(text.trim());
            bytes = new Uint8Array(binary.length);
            for (let i = 0; i < binary.length; i++) bytes[i] = binary.charCodeAt(i);
        }
    } catch (e) {
        throw damaged(what + " is not base64");
    }
    if (id !== "wasm") element.textContent = "";
    return bytes;
}

async function gunzip(bytes, what) {
    try {
        const stream = new Blob([bytes]).stream().pipeThrough(new DecompressionStream("gzip"));
        return new Uint8Array(await new Response(stream).arrayBuffer());
    } catch (e) {
        throw damaged(what + " does not unpack");
    }
}

// The show description, checked for what the page reads from it.
function readShow() {
    let s;
    try {
        s = JSON.parse(document.getElementById("show").textContent);
    } catch (e) {
        throw damaged("its show description does not read");
    }
    const whole = (n) => Number.isInteger(n) && n > 0;
    if (!s || !whole(s.rate_hz) || !whole(s.samples_per_tick) || !whole(s.width) ||
        !whole(s.height) || !Array.isArray(s.scenes) || s.scenes.length === 0 ||
        !Array.isArray(s.scene_positions) || s.scene_positions.length !== s.scenes.length)
        throw damaged("its show description lacks the clock, the frame or the scenes");
    return s;
}

// The tick table: a song position and a row, 16 bits each, per tick. Positions and rows past
// what a module can hold (255) mean the table is damaged.
function readTicks(table) {
    if (table.length === 0 || table.length % 4 !== 0)
        throw damaged("its tick table is cut short");
    const words = new Uint16Array(table.buffer, table.byteOffset, table.length >> 1);
    for (let t = 0; t < words.length >> 1; t++)
        if (words[2 * t] > 255 || words[2 * t + 1] > 255)
            throw damaged("its tick table has song position " + words[2 * t] + ", row " +
                          words[2 * t + 1] + " at tick " + t);
    return words;
}

// The first Ogg pages of the sound holding about `seconds` of it, and the seconds they hold;
// null when the block is not an Ogg Opus stream the page can cut.
function oggPrefix(bytes, seconds) {
    const OPUS_HZ = 48000;
    let at = 0;
    let preSkip = -1;
    while (at + 27 <= bytes.length) {
        if (bytes[at] !== 0x4f || bytes[at + 1] !== 0x67 || bytes[at + 2] !== 0x67 ||
            bytes[at + 3] !== 0x53)
            return null;
        const segments = bytes[at + 26];
        let body = 0;
        for (let i = 0; i < segments; i++) body += bytes[at + 27 + i];
        const data = at + 27 + segments;
        if (preSkip < 0) {
            // OpusHead: magic, version, channels, pre-skip (16-bit little-endian).
            if (data + 12 > bytes.length) return null;
            preSkip = bytes[data + 10] | bytes[data + 11] << 8;
        }
        // The granule position, low 32 bits are plenty for the first seconds.
        const granule = (bytes[at + 6] | bytes[at + 7] << 8 | bytes[at + 8] << 16 |
                         bytes[at + 9] << 24) >>> 0;
        const highWords = bytes[at + 10] | bytes[at + 11] | bytes[at + 12] | bytes[at + 13];
        at = data + body;
        if (highWords === 0 && granule !== 0 && (granule - preSkip) / OPUS_HZ >= seconds)
            return at < bytes.length ? { bytes: bytes.subarray(0, at),
                                         seconds: (granule - preSkip) / OPUS_HZ } : null;
    }
    return null;
}

async function decode(bytes) {
    const decoder = new OfflineAudioContext(2, 1, RATE_HZ);
    return decoder.decodeAudioData(bytes.buffer);
}

// The seconds of the mix the tick table covers.
function showSeconds() {
    return tickCount * SAMPLES_PER_TICK / RATE_HZ;
}

function minutes(seconds) {
    const s = Math.floor(seconds);
    return Math.floor(s / 60) + ":" + String(s % 60).padStart(2, "0");
}

// The sound's first seconds before Play; the whole mix after, decoded off the main thread. The
// Ogg bytes are dropped once decoded.
async function loadSound(ticksRead) {
    let bytes;
    try {
        bytes = bytesOf("sound", "its sound block");
    } catch (e) {
        soundDamage = e.message;
        return;
    }
    // Play waits for the first seconds only; a longer part follows, in case the whole mix
    // takes longer to decode than the first part takes to play.
    const firstPart = async (seconds) => {
        const cut = oggPrefix(bytes, seconds);
        if (!cut) return false;
        try {
            const buffer = await decode(cut.bytes.slice());
            // The resampler's last samples wait for input that comes only with the rest.
            onBetterSound(buffer, Math.min(buffer.duration, cut.seconds) - 0.5);
            return true;
        } catch (e) {
            return false;
        }
    };
    const rest = async () => {
        await firstPart(30);
        let decoded = null;
        try {
            decoded = await decode(bytes);
        } catch (e) {
            soundDamage = "the sound block does not decode; the show plays without it";
        }
        bytes = null;
        await ticksRead;
        if (decoded && decoded.duration < showSeconds() - 0.1)
            soundDamage = "the sound block is cut short: it ends at " +
                minutes(decoded.duration) + " of " + minutes(showSeconds()) + ", silent after";
        if (testing) testHooks.wholeMs = performance.now();
        if (decoded) onBetterSound(decoded, Infinity);
        updateNote();
    };
    stage("cut");
    if (await firstPart(4)) {
        stage("prefix");
        rest();
    } else {
        // A sound the page cannot cut is decoded whole before Play: the button says so.
        playButton.textContent = "Loading the sound";
        await rest();
    }
}

// For the benchmark: when each step of the load ended, in ms since the page began to load.
function stage(name) {
    if (testing) testHooks.stages.push([name, Math.round(performance.now())]);
}

async function load() {
    stage("script");
    show = readShow();
    RATE_HZ = show.rate_hz;
    SAMPLES_PER_TICK = show.samples_per_tick;
    SCENE_END = show.scenes.length;
    canvas.width = show.width;
    canvas.height = show.height;
    // Everything that can run off the page's thread starts at once and runs side by side: the
    // sound's first seconds decoding, the module compiling, the blocks unpacking.
    const compiled = WebAssembly.compile(bytesOf("wasm", "its WebAssembly block")).catch(() => {
        throw damaged("its WebAssembly block does not load");
    });
    const unpacked = Promise.all([
        gunzip(bytesOf("assets", "its asset block"), "its asset block"),
        gunzip(bytesOf("ticks", "its tick block"), "its tick block")]);
    compiled.catch(() => {});
    unpacked.catch(() => {});
    let ticksRead;
    const sound = loadSound(new Promise((resolve) => (ticksRead = resolve)));
    stage("started");
    const [assetBytes, tableBytes] = await unpacked;
    stage("unpacked");
    if (testing) testHooks.assetBytes = assetBytes;
    const table = readTicks(tableBytes);
    ticks = table;
    tickCount = ticks.length >> 1;
    ticksRead();
    // startShow (web/start.js, appended to this script by the build) instantiates the module
    // and starts the show over the asset file. The module's memory grows as the seek index
    // fills; each growth detaches the views made before it, so the frame's view is made again
    // where it was (frameView).
    wasm = await startShow(await compiled, assetBytes);
    stage("wasm");
    if (!wasm) throw damaged("its asset file does not load");
    // The module keeps its own copy of the table for the seek index, built between frames.
    const tableAt = wasm.web_buffer(table.byteLength);
    if (!tableAt) throw new Error("out of memory for the tick table");
    new Uint8Array(wasm.memory.buffer, tableAt, table.byteLength)
        .set(new Uint8Array(table.buffer, table.byteOffset, table.byteLength));
    if (!wasm.web_seek_start(tableAt, tickCount)) throw new Error("out of memory for seeking");
    makeBar();
    await sound;
    stage("sound");
    // The seek index is built once Play is offered, so as not to hold it back.
    setTimeout(buildSeekIndex);
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
            now = audio.currentTime - outputLatency();
        }
    }
    // Just after a start or a jump the output still plays what came before it.
    return offsetS + Math.max(0, now - startS);
}

function outputLatency() {
    return (audio.outputLatency || 0) + (audio.baseLatency || 0);
}

// The decoded sound that plays the mix from `seconds` on, or null while there is none.
function soundFrom(seconds) {
    if (whole) return seconds < whole.duration ? whole : null;
    return prefix && seconds < prefixEndS ? prefix : null;
}

function stopSource() {
    if (source) source.stop();
    source = null;
    sourceBuffer = null;
}

function goSilent() {
    if (!silent) silentSinceMs = performance.now();
    silent = true;
    startS = performance.now() / 1000;
}

// Runs the clock from offsetS on: the sound from there when the output runs and that part of the
// mix is decoded, else the page's clock (the sound joins later, see joinSound). A new source
// node for each start, as a node plays only once; its start and offset fall on whole samples, so
// that a later swap of its buffer meets it sample for sample.
function startClock() {
    stopSource();
    const buffer = audio && audio.state === "running" ? soundFrom(offsetS) : null;
    if (!buffer) {
        goSilent();
        return;
    }
    silent = false;
    source = audio.createBufferSource();
    source.buffer = sourceBuffer = buffer;
    source.connect(audio.destination);
    // A moment ahead, so that the node starts exactly when startS says.
    sourceStartFrame = Math.ceil((audio.currentTime + 0.02) * RATE_HZ);
    sourceOffsetFrame = Math.round(offsetS * RATE_HZ);
    startS = sourceStartFrame / RATE_HZ;
    offsetS = sourceOffsetFrame / RATE_HZ;
    source.start(startS, offsetS);
    updateNote();
}

function stopClock() {
    offsetS = heardSeconds();
    stopSource();
}

// The output runs and its clock has moved in the last half second.
let lastAudioTime = -1;
let audioMovedMs = 0;
function outputMoves() {
    if (!audio || audio.state !== "running") return false;
    if (audio.currentTime !== lastAudioTime) {
        lastAudioTime = audio.currentTime;
        audioMovedMs = performance.now();
    }
    return performance.now() - audioMovedMs < 500;
}

// The sound joins the show where it is, however late the output starts or the mix is decoded:
// ahead by the time the output takes, so that the picture's clock goes on without a step back.
function joinSound() {
    if (!started || paused || ended || !silent || !outputMoves()) return;
    if (testing && performance.now() < testHooks.holdSoundUntilMs) return;
    const seconds = heardSeconds() + 0.02 + outputLatency();
    if (!soundFrom(seconds)) return;
    offsetS = seconds;
    startClock();
    if (testing) testHooks.joinedMs = performance.now();
}

// More of the mix decoded (up to endS seconds, Infinity for the whole): the part playing now
// hands over to it at a sample of both, a tenth of a second ahead; silent, the sound joins. Only
// the longest part is kept.
function onBetterSound(buffer, endS) {
    if (testing) testHooks.parts.push([buffer, endS]);
    if (source && sourceBuffer === prefix) {
        const atFrame = Math.ceil((audio.currentTime + 0.1) * RATE_HZ);
        const mixFrame = sourceOffsetFrame + atFrame - sourceStartFrame;
        const seconds = mixFrame / RATE_HZ;
        if (seconds < prefixEndS && seconds < Math.min(endS, buffer.duration)) {
            const next = audio.createBufferSource();
            next.buffer = buffer;
            next.connect(audio.destination);
            next.start(atFrame / RATE_HZ, mixFrame / RATE_HZ);
            source.stop(atFrame / RATE_HZ);
            source = next;
            sourceBuffer = buffer;
            // The clock's line stays: the same context frame maps to the same mix frame.
            if (testing) testHooks.swaps.push(mixFrame);
        }
    }
    if (endS === Infinity) {
        whole = buffer;
        prefix = null;
    } else {
        prefix = buffer;
        prefixEndS = endS;
    }
    joinSound();
}

// The note names a damaged sound block, or says the show plays without sound, and only while
// it does so for more than a moment (an output starting up is not worth a word).
function updateNote() {
    if (ended) return;
    const silentNow = started && !paused && silent && performance.now() - silentSinceMs > 1000;
    note.textContent = soundDamage ? "The sound cannot play: " + soundDamage + "."
        : silentNow ? "No sound here: the show plays on the page's clock." : "";
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
    showTime();
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
    showTime();
    return shownScene;
}

// The show's end: the last frame stays, with the line the programs print.
function finish(seconds) {
    stopClock();
    ended = true;
    const whole = Math.floor(Math.floor(seconds * 1024) / 1024);
    note.textContent = "Total playtime: " + Math.floor(whole / 60) % 60 + ":" + whole % 60;
    showBar();
}

function onDisplayFrame() {
    if (ended) return;
    requestAnimationFrame(onDisplayFrame);
    updateNote();
    if (paused || (testing && testHooks.drive)) return;
    // The prefix running out before the whole mix is decoded, or the output stopping or its
    // clock standing still although it says it runs: on the page's clock until the sound can
    // join again.
    if (!silent && (!outputMoves() ||
                    sourceBuffer === prefix && heardSeconds() >= prefixEndS - 0.05)) {
        stopClock();
        goSilent();
        wakeSound();
    }
    joinSound();
    const seconds = heardSeconds();
    const tick = tickAt(seconds);
    // The mix ends where the first tick past the show (or the song) would start.
    if (tick >= tickCount) {
        finish(showSeconds());
        return;
    }
    // A display faster than the tick rate, or the sound joining a moment behind the page's
    // clock: the canvas already holds this tick's frame (or a later one's).
    if (tick <= shownTick) return;
    if (passAt(tick) === SCENE_END) finish(seconds);
}

// A song position back or on from the one shown: the mix and the show from the first tick at
// that position (or the end).
function jump(step) {
    const target = Math.max(0, ticks[2 * Math.min(Math.max(shownTick, 0), tickCount - 1)] + step);
    let tick = 0;
    while (tick < tickCount && ticks[2 * tick] < target) tick++;
    seekTo(Math.min(tick, tickCount - 1));
}

// Moves the show and its sound to a tick of the mix (the seek bar's and the keys' entry): the
// frame at once, the sound from there unless paused.
function seekTo(tick) {
    if (ended) return;
    tick = Math.max(0, Math.min(Math.floor(tick), tickCount - 1));
    stopSource();
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
        showBar();
        if (audio) await audio.suspend();
        // Played again while the output was being stopped: start it again.
        if (!paused) wakeSound();
    } else {
        paused = false;
        setTitle();
        // On the page's clock until the output runs again, then the sound joins.
        goSilent();
        silentSinceMs = performance.now();
        if (audio) audio.resume().then(joinSound, () => {});
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

// The seek bar: the show's time, a mark where each scene starts, named; shown while paused and
// for a few seconds after the pointer moves or a key is pressed, as a video page does.
let barTimer = 0;
let dragging = false;

function makeBar() {
    const marks = document.getElementById("marks");
    // The first tick at each scene's first position: where the scene starts in the mix.
    const sceneTicks = show.scene_positions.map((p) => {
        let t = 0;
        while (t < tickCount && ticks[2 * t] < p) t++;
        return t;
    });
    sceneTicks.forEach((t, k) => {
        if (t >= tickCount) return;
        const next = sceneTicks.slice(k + 1).find((u) => u > t) ?? tickCount;
        const mark = document.createElement("div");
        mark.className = "mark";
        mark.style.left = (100 * t / tickCount) + "%";
        mark.style.width = (100 * (Math.min(next, tickCount) - t) / tickCount) + "%";
        mark.textContent = mark.title = (k + 1) + " " + show.scenes[k];
        marks.appendChild(mark);
    });
    document.getElementById("total").textContent = minutes(showSeconds());
    track.setAttribute("aria-valuemax", String(Math.floor(showSeconds())));
}

function showTime() {
    const seconds = Math.max(shownTick, 0) * SAMPLES_PER_TICK / RATE_HZ;
    const elapsed = minutes(seconds);
    const label = document.getElementById("elapsed");
    if (label.textContent !== elapsed) {
        label.textContent = elapsed;
        track.setAttribute("aria-valuenow", String(Math.floor(seconds)));
        track.setAttribute("aria-valuetext", elapsed + " of " + minutes(showSeconds()));
    }
    if (!bar.hidden)
        document.getElementById("played").style.width = (100 * shownTick / tickCount) + "%";
}

function showBar() {
    if (!started) return;
    bar.hidden = false;
    showTime();
    clearTimeout(barTimer);
    barTimer = setTimeout(() => {
        if (!paused && !ended && !dragging) bar.hidden = true;
    }, 2500);
}

function tickAtPointer(event) {
    const r = track.getBoundingClientRect();
    return Math.round(Math.min(1, Math.max(0, (event.clientX - r.left) / r.width)) * tickCount);
}

track.addEventListener("pointerdown", (event) => {
    if (!started || ended) return;
    dragging = true;
    track.setPointerCapture(event.pointerId);
    seekTo(tickAtPointer(event));
    event.preventDefault();
});
track.addEventListener("pointermove", (event) => {
    if (dragging) seekTo(tickAtPointer(event));
});
for (const type of ["pointerup", "pointercancel"])
    track.addEventListener(type, () => {
        dragging = false;
        showBar();
    });

// The first click or key: sound needs a gesture. The show starts at once on the page's clock;
// the sound joins when the output runs, however long that takes.
async function start(event) {
    if (started || !wasm) return;
    if (testing) testHooks.startMs = event ? event.timeStamp : performance.now();
    document.getElementById("start").style.display = "none";
    canvas.hidden = false;
    fit();
    // The first frame at once, at the start of the mix where nothing is heard yet.
    passAt(tickAt(offsetS));
    started = true;
    silentSinceMs = performance.now();
    goSilent();
    requestAnimationFrame(onDisplayFrame);
    try {
        audio = new AudioContext({ sampleRate: RATE_HZ, latencyHint: "playback" });
    } catch (e) {
        audio = null;
    }
    if (!audio) return;
    audio.addEventListener("statechange", joinSound);
    if (testing && testHooks.outputDelayMs) {
        // A slow sound output, for the tests: nothing heard until it has started.
        testHooks.holdSoundUntilMs = performance.now() + testHooks.outputDelayMs;
        setTimeout(joinSound, testHooks.outputDelayMs);
    }
    audio.resume().then(joinSound, () => {});
}

// Any later gesture asks a held-back output again.
function wakeSound() {
    if (audio && audio.state === "suspended" && !paused)
        audio.resume().then(joinSound, () => {});
}

function onKey(event) {
    if (!started) {
        start(event);
        return;
    }
    wakeSound();
    if (ended || event.repeat && event.key === " ") return;
    showBar();
    if (event.key === "f" || event.key === "F") toggleFullScreen();
    else if (event.key === " ") togglePause();
    else if (event.key === "ArrowLeft") jump(-1);
    else if (event.key === "ArrowRight") jump(1);
    else if (event.key === "Home") seekTo(0);
    else if (event.key === "End") seekTo(tickCount - 1);
    else return;
    event.preventDefault();
}

addEventListener("resize", fit);
addEventListener("keydown", onKey);
addEventListener("pointermove", showBar);
addEventListener("pointerdown", wakeSound);
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
    testHooks.tickCount = () => tickCount;
    // The largest difference between each decoded part and the next over the part's last
    // playable second, where a swap falls: 0 when they meet sample for sample.
    testHooks.partsDiffer = () => testHooks.parts.slice(1).map(([next], i) => {
        const [part, endS] = testHooks.parts[i];
        let most = 0;
        for (let c = 0; c < 2; c++) {
            const a = part.getChannelData(c), b = next.getChannelData(c);
            for (let f = Math.floor((endS - 1) * RATE_HZ); f < endS * RATE_HZ; f++)
                most = Math.max(most, Math.abs(a[f] - b[f]));
        }
        return most;
    });
    testHooks.silent = () => silent;
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
        if (testing) {
            testHooks.readyMs = performance.now();
            testHooks.ready = true;
        }
    },
    (e) => {
        playButton.textContent = "Cannot play";
        note.textContent = "The show cannot start: " + e.message;
        console.error(e);
    });
