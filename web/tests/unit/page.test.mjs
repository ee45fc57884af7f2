// Pieces of the page that need no browser: the shared link's packing and
// the mapping of the assembler's byte columns to editor positions.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { Deflate } from 'fflate';
import { encodeShare, decodeShare } from '../../app/src/share.js';
import { byteColumnToOffset } from '../../app/src/editor.js';

test('a shared source comes back byte for byte, name included', () => {
  const source = '; Grüße ✓ 𝄞\r\n start: addi R01,R00,$0005 // <script>\n';
  const hash = encodeShare(source, 'mein programm.s');
  assert.match(hash, /^#q=[A-Za-z0-9_-]+&n=/);
  assert.deepEqual(decodeShare(hash), { source, name: 'mein programm.s' });
});

test('a fragment without a source is none, a damaged one throws', () => {
  assert.equal(decodeShare(''), null);
  assert.equal(decodeShare('#other=1'), null);
  assert.throws(() => decodeShare('#q=AAAA'));
});

test('a link that would unpack to more than 4 MiB is refused', () => {
  const chunks = [];
  const stream = new Deflate({ level: 9 }, (c) => chunks.push(c));
  stream.push(new Uint8Array(8 * 1024 * 1024), true);
  const packed = Buffer.concat(chunks).toString('base64url');
  assert.throws(() => decodeShare(`#q=${packed}`), /too large/);
});

test('byte columns count UTF-8 bytes, editor offsets count UTF-16 units', () => {
  assert.equal(byteColumnToOffset('addi R01', 6), 5);
  // "ä" is two bytes, "𝄞" four bytes and two units.
  assert.equal(byteColumnToOffset('; ä x', 6), 4);
  assert.equal(byteColumnToOffset('𝄞 foo', 6), 3);
  assert.equal(byteColumnToOffset('ab', 40), 2);
});
