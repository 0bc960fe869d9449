// The WebAssembly start-up every runner of the module shares: the page (appended to page.js by
// the web build), the node test of its pass and the node benchmark. Plain script, no module
// syntax, so that the page inlines it as it stands and node loads it as the page does.

// Instantiates the module (its bytes, or compiled already; it imports only a notice of memory
// growth), copies the asset file into its memory and starts the show over it. The module's
// exports, or null when the asset file does not load.
async function startShow(wasm, assetBytes) {
    const imports = { env: { emscripten_notify_memory_growth: () => {} } };
    const made = await WebAssembly.instantiate(wasm, imports);
    const instance = made.instance || made;
    const web = instance.exports;
    web._initialize();
    const at = web.web_buffer(assetBytes.length);
    if (!at) throw new Error("out of memory for the asset file");
    new Uint8Array(web.memory.buffer, at, assetBytes.length).set(assetBytes);
    return web.web_start(at, assetBytes.length) ? web : null;
}
