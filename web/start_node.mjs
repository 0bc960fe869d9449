// startShow (web/start.js) for node scripts: the same text the page runs, loaded as a script.
import { readFileSync } from "node:fs";

const text = readFileSync(new URL("./start.js", import.meta.url), "utf8");
export const startShow = new Function(text + "\nreturn startShow;")();
