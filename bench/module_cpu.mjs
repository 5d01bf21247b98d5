// The module's frame under node in processor time rather than wall time, for a machine
// too loaded for web_bench.py's clock: draw (with the canvas's RGBA), the raster core
// and a pixel's history at the three sizes, medians of ROUNDS rounds of 40 frames, under
// the program's rules or under RULES (a --rules list such as gl).
//   node bench/module_cpu.mjs SITE/sphaerix.js [ROUNDS] [RULES]
import { createRequire } from 'node:module';
import { dirname, resolve } from 'node:path';
import { pathToFileURL } from 'node:url';

globalThis.require ??= createRequire(import.meta.url);
const path = resolve(process.argv[2]);
globalThis.__dirname ??= dirname(path);
const m = await (await import(pathToFileURL(path).href)).default();
m.useGeneratedTexture();
if (process.argv[4] && m.setRules(process.argv[4]))
    throw new Error(m.setRules(process.argv[4]));
const cpu = f => { const a = process.cpuUsage(); f(); const b = process.cpuUsage(a); return (b.user + b.system) / 1000; };
const median = a => [...a].sort((x, y) => x - y)[a.length >> 1];
const rounds = Number(process.argv[3] ?? 5), n = 40;
const out = {};
for (let round = 0; round < rounds; ++round)
    for (const [w, h] of [[480, 480], [960, 960], [1920, 1080]]) {
        const r = (out[`${w}x${h}`] ??= { draw: [], core: [], history: [] });
        for (let i = 0; i < 20; ++i)
            m.draw(w, h, -135 + i, -60, 0, 0, 0.25, 'color', -1);
        r.draw.push(cpu(() => { for (let i = 0; i < n; ++i) m.draw(w, h, -135 + i, -60, 0, 0, 0.25, 'color', -1); }) / n);
        m.draw(w, h, -135, -60, 0, 0, 0.25, 'color', -1);
        r.core.push(cpu(() => m.rasterTimes(n)) / n);
        const x = Math.round(70 * w / 480), y = Math.round(214 * h / 480);
        r.history.push(cpu(() => { for (let i = 0; i < 10; ++i) m.historyJson(x + i, y); }) / 10);
    }
for (const [size, r] of Object.entries(out))
    console.log(`${size} draw ${median(r.draw).toFixed(2)} core ${median(r.core).toFixed(2)} history ${median(r.history).toFixed(2)}`);
