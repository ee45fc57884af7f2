// A small static server for the built site, on the loopback interface only:
//   node serve.mjs [--port N] [--root DIR]     (default 8080, build-web/site)
import { createServer } from 'node:http';
import { createReadStream, statSync } from 'node:fs';
import { dirname, extname, join, normalize, resolve, sep } from 'node:path';
import { fileURLToPath } from 'node:url';

const here = dirname(fileURLToPath(import.meta.url));
const args = process.argv.slice(2);
const option = (name, fallback) => {
  const i = args.indexOf(name);
  return i >= 0 && args[i + 1] ? args[i + 1] : fallback;
};
const port = Number(option('--port', process.env.PORT || 8080));
const root = resolve(option('--root', join(here, '..', 'build-web', 'site')));

const types = {
  '.html': 'text/html; charset=utf-8', '.js': 'text/javascript; charset=utf-8', '.css': 'text/css; charset=utf-8',
  '.wasm': 'application/wasm', '.json': 'application/json; charset=utf-8', '.s': 'text/plain; charset=utf-8',
  '.asm': 'text/plain; charset=utf-8', '.cod': 'text/plain; charset=utf-8', '.png': 'image/png',
};

const server = createServer((request, response) => {
  let path;
  try {
    path = decodeURIComponent(new URL(request.url, 'http://localhost').pathname);
  } catch {
    response.writeHead(400).end();
    return;
  }
  if (path.endsWith('/')) path += 'index.html';
  const file = normalize(join(root, path));
  if (file !== root && !file.startsWith(root + sep)) {
    response.writeHead(403).end();
    return;
  }
  let info;
  try {
    info = statSync(file);
  } catch {
    info = null;
  }
  if (!info || !info.isFile()) {
    response.writeHead(404, { 'content-type': 'text/plain; charset=utf-8' }).end('not found\n');
    return;
  }
  response.writeHead(200, {
    'content-type': types[extname(file)] || 'application/octet-stream',
    'content-length': info.size,
    'cache-control': 'no-cache',
    'x-content-type-options': 'nosniff',
  });
  if (request.method === 'HEAD') response.end();
  else createReadStream(file).pipe(response);
});

server.listen(port, '127.0.0.1', () => {
  console.log(`Tavora: http://127.0.0.1:${port}/ (${root})`);
});
