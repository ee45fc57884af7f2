// "Teilen": the source travels deflated and base64url-encoded in the URL
// fragment, which browsers never send to a server.
import { Deflate, Inflate, strToU8, strFromU8 } from 'fflate';

const MaxSharedBytes = 4 * 1024 * 1024;  // a link never unpacks to more than this

function toBase64Url(bytes) {
  let binary = '';
  for (let i = 0; i < bytes.length; i += 0x8000) binary += String.fromCharCode(...bytes.subarray(i, i + 0x8000));
  return btoa(binary).replace(/\+/g, '-').replace(/\//g, '_').replace(/=+$/, '');
}

function fromBase64Url(text) {
  const binary = atob(text.replace(/-/g, '+').replace(/_/g, '/'));
  const bytes = new Uint8Array(binary.length);
  for (let i = 0; i < binary.length; ++i) bytes[i] = binary.charCodeAt(i);
  return bytes;
}

function deflate(bytes) {
  const chunks = [];
  const stream = new Deflate({ level: 9 }, (chunk) => chunks.push(chunk));
  stream.push(bytes, true);
  const out = new Uint8Array(chunks.reduce((n, c) => n + c.length, 0));
  let at = 0;
  for (const c of chunks) { out.set(c, at); at += c.length; }
  return out;
}

function inflate(bytes) {
  const chunks = [];
  let total = 0;
  const stream = new Inflate((chunk) => {
    total += chunk.length;
    if (total > MaxSharedBytes) throw new Error('too large');
    chunks.push(chunk);
  });
  stream.push(bytes, true);
  const out = new Uint8Array(total);
  let at = 0;
  for (const c of chunks) { out.set(c, at); at += c.length; }
  return out;
}

/** The fragment ("#q=...&n=...") that carries a source and its file name. */
export function encodeShare(source, name) {
  const params = new URLSearchParams();
  params.set('q', toBase64Url(deflate(strToU8(source))));
  params.set('n', name);
  return '#' + params.toString();
}

/** { source, name } from a fragment, null when it holds none, or throws when it is damaged. */
export function decodeShare(hash) {
  if (!hash || hash.length < 2) return null;
  const params = new URLSearchParams(hash.slice(1));
  const data = params.get('q');
  if (!data) return null;
  const source = strFromU8(inflate(fromBase64Url(data)));
  const name = params.get('n') || 'quelltext.s';
  return { source, name };
}
