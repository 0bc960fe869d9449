// The web page's pass as WebAssembly in node, timed as native_pass.cpp times it natively.
// usage: node pass.mjs QUAB_WASM ASSETS PASSES SCENE_LAST_POSITIONS (comma-separated)
import { readFileSync } from "node:fs";
import { startShow } from "../../web/start_node.mjs";

const [wasmPath, assetsPath, passText, lastText] = process.argv.slice(2);
const web = await startShow(readFileSync(wasmPath), readFileSync(assetsPath));
if (!web) throw new Error(assetsPath + " does not load");
const last = lastText.split(",").map(Number);
const passes = Number(passText);
// A first round untimed: the engine runs new code on its baseline compiler until the optimised
// code is ready, so the scene timed first would pay for it.
for (const timed of [false, true]) {
    for (let k = 0; k < last.length; k++) {
        const position = k === 0 ? 0 : last[k - 1] + 1;
        const row = k === 6 ? 40 : 0;
        web.web_restart();
        let tick = 1000;
        web.web_draw(tick, position, row);
        const start = performance.now();
        for (let i = 0; i < passes; i++) web.web_draw(++tick, position, row);
        const us = ((performance.now() - start) * 1000) / passes;
        if (timed) console.log(`scene ${k + 1} ${us.toFixed(1)}`);
    }
}
