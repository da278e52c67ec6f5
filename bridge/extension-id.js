// The id that Chromium gives the unpacked extension: derived from the public
// key in its manifest (SHA-256, first 16 bytes, each hex digit as a to p).
'use strict';
const crypto = require('crypto');
const fs = require('fs');
const path = require('path');

module.exports = (folder) => {
  const manifest = JSON.parse(fs.readFileSync(path.join(folder, 'manifest.json'), 'utf8'));
  const digest = crypto.createHash('sha256').update(Buffer.from(manifest.key, 'base64')).digest('hex');
  return [...digest.slice(0, 32)].map((c) => String.fromCharCode(97 + parseInt(c, 16))).join('');
};

if (require.main === module) console.log(module.exports(process.argv[2] || path.join(__dirname, 'extension')));
