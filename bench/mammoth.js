// The common .docx-to-HTML library (mammoth) on the same files as the
// built-in reader, for bench/docx-compare:
//   node bench/mammoth.js MODULES OUT_DIR FILE...     writes OUT_DIR/NAME.html for each file it converts
//   node bench/mammoth.js MODULES --time FILE...      converts the set, warm, for about two seconds in this
//                                                      process and prints documents per second of wall
//                                                      time and of processor time
// MODULES is the folder that npm installed mammoth into.
'use strict';
const fs = require('fs');
const path = require('path');
const [modules, mode, ...files] = process.argv.slice(2);
const mammoth = require(path.resolve(modules, 'node_modules', 'mammoth'));

async function convert(file) {
  return (await mammoth.convertToHtml({ buffer: fs.readFileSync(file) })).value;
}

async function main() {
  if (mode !== '--time') {
    for (const file of files) {
      try {
        fs.writeFileSync(path.join(mode, path.basename(file) + '.html'), await convert(file));
      } catch (e) {
        console.error(path.basename(file) + ': ' + e.message.split('\n')[0]);
      }
    }
    return;
  }
  for (const file of files) await convert(file);  // warm
  let done = 0;
  const start = process.hrtime.bigint(), cpu = process.cpuUsage();
  let seconds = 0;
  while (seconds < 2) {
    for (const file of files) {
      const html = await convert(file);
      fs.writeFileSync('/dev/null', html);
      ++done;
    }
    seconds = Number(process.hrtime.bigint() - start) / 1e9;
  }
  const used = process.cpuUsage(cpu);
  console.log((done / seconds).toFixed(2) + ' ' + (done / ((used.user + used.system) / 1e6)).toFixed(2));
}
main();
