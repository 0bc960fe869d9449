// The show's WebAssembly pass run by node over a quab-render timeline: writes each pass's frame
// as quab-render does (320x240 little-endian Pixel words, frame_NNNNN.raw), so that the two
// can be compared byte for byte.
// usage: node wasm_pass.mjs QUAB_WASM ASSETS TIMELINE OUTDIR
import { readFileSync, writeFileSync } from "node:fs";
import { startShow } from "../../web/start_node.mjs";

const [wasmPath, assetsPath, timelinePath, outDir] = process.argv.slice(2);
const web = await startShow(readFileSync(wasmPath), readFileSync(assetsPath));
if (!web) {
    console.error("wasm_pass: the module refused " + assetsPath);
    process.exit(1);
}
let n = 0;
for (const line of readFileSync(timelinePath, "utf8").split("\n")) {
    const words = line.trim().split(/\s+/);
    if (words.length !== 3 || line.trim().startsWith("#")) continue;
    const scene = web.web_pass(Number(words[0]), Number(words[1]), Number(words[2]));
    const frame = new Uint8Array(web.memory.buffer, web.web_frame(), 320 * 240 * 4);
    writeFileSync(`${outDir}/frame_${String(n++).padStart(5, "0")}.raw`, frame);
    // As in quab-render, the pass that ends the show is the last.
    if (scene === 8) break;
}
console.log(`${n} frames`);
