// The exact seek as WebAssembly in node, timed as native_pass.cpp times the same code natively:
// building the whole seek index over the show's tick table (and the memory it grows), then seeks
// to every 7th tick, the slowest and the mean per scene. Prints the lines web.sh reads.
// usage: node seek.mjs QUAB_WASM ASSETS TICKS (the page's table: 16-bit position, row per tick)
import { readFileSync } from "node:fs";

const [wasmPath, assetsPath, ticksPath] = process.argv.slice(2);
const imports = { env: { emscripten_notify_memory_growth: () => {} } };
const { instance } = await WebAssembly.instantiate(readFileSync(wasmPath), imports);
const web = instance.exports;
web._initialize();
const assets = readFileSync(assetsPath);
const at = web.web_buffer(assets.length);
new Uint8Array(web.memory.buffer, at, assets.length).set(assets);
if (!web.web_start(at, assets.length)) throw new Error(assetsPath + " does not load");
const table = readFileSync(ticksPath);
const tickCount = table.length >> 2;
const tableAt = web.web_buffer(table.length);
new Uint8Array(web.memory.buffer, tableAt, table.length).set(table);
const before = web.memory.buffer.byteLength;
// A first index untimed, for the engine's optimised code, then the timed one.
web.web_seek_start(tableAt, tickCount);
web.web_seek_build(0);
web.web_seek_start(tableAt, tickCount);
let start = performance.now();
if (web.web_seek_build(0) !== 1) throw new Error("the seek index is not built");
console.log(`build_ms ${(performance.now() - start).toFixed(1)}`);
console.log(`memory_MB ${((web.memory.buffer.byteLength - before) / 1e6).toFixed(1)}`);
const worst = new Map(), total = new Map(), count = new Map();
for (let tick = 0; tick < tickCount; tick += 7) {
    start = performance.now();
    const scene = web.web_seek(tick);
    const ms = performance.now() - start;
    worst.set(scene, Math.max(worst.get(scene) || 0, ms));
    total.set(scene, (total.get(scene) || 0) + ms);
    count.set(scene, (count.get(scene) || 0) + 1);
}
for (const scene of [...worst.keys()].sort((a, b) => a - b))
    console.log(`seek ${scene + 1} ${worst.get(scene).toFixed(2)} ` +
                `${(total.get(scene) / count.get(scene)).toFixed(2)}`);
