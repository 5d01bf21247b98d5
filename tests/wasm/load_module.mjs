// Loads the page's module under node: this emscripten's ES-module build still asks node
// for `require` and `__dirname`, which only CommonJS has.
import { createRequire } from 'node:module';
import { dirname } from 'node:path';
import { pathToFileURL } from 'node:url';

globalThis.require ??= createRequire(import.meta.url);

export async function loadModule(path) {
    globalThis.__dirname ??= dirname(path);
    const { default: createSphaerix } = await import(pathToFileURL(path).href);
    return createSphaerix();
}
