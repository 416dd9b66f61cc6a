// What the browser tests share around their steps: a fresh server, one browser, the steps
// in order (after a failure the rest are skipped), the screenshots in a folder of their own,
// and the server's output kept with its root when anything failed.
"use strict";

const fs = require("node:fs");
const { VistrelServer } = require("./vistrel.js");
const { Walk, runStep } = require("./walk.js");

// Runs the steps as subtests of t. browserOptions go to browser.launch; after(server), when
// given, runs once the browser is closed.
async function walkSteps(t, { source, build, shots, steps, browserOptions, after }) {
  fs.rmSync(shots, { recursive: true, force: true });
  fs.mkdirSync(shots, { recursive: true });
  const server = new VistrelServer(source, build);
  let walk = null;
  let failed = false;
  try {
    await server.start();
    walk = await Walk.open(server, { log: (line) => t.diagnostic(line), browserOptions });

    let index = 0;
    for (const s of steps) {
      index++;
      if (failed) {
        await t.test(s.title, { skip: "an earlier step failed" }, () => {});
        continue;
      }
      await t.test(s.title, async (st) => {
        try {
          if (await runStep(walk, s, index, shots) === "pending") st.skip("not built yet");
        } catch (error) {
          failed = true;
          throw error;
        }
      });
    }
    await walk.close();
    walk = null;
    if (after) await after(server);
    t.diagnostic(`screenshots in ${shots}`);
  } catch (error) {
    failed = true;
    throw error;
  } finally {
    if (walk) await walk.close().catch(() => {});
    await server.stop();
    if (failed || t.signal.aborted) {
      console.log(`# server output (root kept in ${server.dir}):\n${server.log()}`);
    } else {
      server.remove();
    }
  }
}

module.exports = { walkSteps };
