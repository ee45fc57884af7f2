// Builds the browser edition into build-web/site: the page, its bundled
// scripts and style, the WebAssembly module from build-web/wasm/web and the
// example sources. Every URL in the site is relative, so it works from any
// folder of any static server.
import { build } from 'esbuild';
import { cpSync, existsSync, mkdirSync, readdirSync, rmSync, statSync, writeFileSync } from 'node:fs';
import { dirname, join, resolve } from 'node:path';
import { fileURLToPath } from 'node:url';

const here = dirname(fileURLToPath(import.meta.url));
const root = resolve(here, '..');
const wasmDir = process.env.TAVORA_WASM_DIR || join(root, 'build-web/wasm/web');
const site = process.env.TAVORA_SITE_DIR || join(root, 'build-web/site');
const app = join(here, 'app');

for (const file of ['tavora.js', 'tavora.wasm']) {
  if (!existsSync(join(wasmDir, file))) {
    console.error(`${join(wasmDir, file)} is missing: build the WebAssembly module first:\n` +
      '  export NODE_PATH=/usr/share/nodejs\n' +
      '  emcmake cmake -S . -B build-web/wasm -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF\n' +
      '  cmake --build build-web/wasm');
    process.exit(1);
  }
}

rmSync(site, { recursive: true, force: true });
mkdirSync(join(site, 'examples'), { recursive: true });

const common = { bundle: true, minify: true, format: 'iife', target: ['chrome100', 'firefox100', 'safari15'], legalComments: 'none', logLevel: 'warning' };
await build({ ...common, entryPoints: [join(app, 'src/main.js')], outfile: join(site, 'app.js') });
// A classic worker: it loads the module's script with importScripts.
await build({ ...common, entryPoints: [join(app, 'src/worker.js')], outfile: join(site, 'worker.js') });
await build({ ...common, entryPoints: [join(app, 'style.css')], outfile: join(site, 'style.css') });

cpSync(join(app, 'index.html'), join(site, 'index.html'));
cpSync(join(wasmDir, 'tavora.js'), join(site, 'tavora.js'));
cpSync(join(wasmDir, 'tavora.wasm'), join(site, 'tavora.wasm'));

const examples = readdirSync(join(root, 'examples')).filter((f) => f.endsWith('.s')).sort();
for (const name of examples) cpSync(join(root, 'examples', name), join(site, 'examples', name));
writeFileSync(join(site, 'examples/index.json'), JSON.stringify(examples) + '\n');
// The examples' library, which sources reach with .include "lib/NAME.s".
mkdirSync(join(site, 'examples/lib'), { recursive: true });
const library = readdirSync(join(root, 'examples/lib')).filter((f) => f.endsWith('.s')).sort().map((f) => `lib/${f}`);
for (const name of library) cpSync(join(root, 'examples', name), join(site, 'examples', name));
writeFileSync(join(site, 'examples/library.json'), JSON.stringify(library) + '\n');

let total = 0;
const walk = (dir) => {
  for (const f of readdirSync(dir)) {
    const p = join(dir, f);
    if (statSync(p).isDirectory()) walk(p);
    else total += statSync(p).size;
  }
};
walk(site);
console.log(`site: ${site} (${(total / 1024).toFixed(0)} KiB)`);
