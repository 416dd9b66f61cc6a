// The viewer for a visitor: the guest account, which may see the published pictures but not
// download originals, finds the birds of the stories, opens the viewer from a detail page
// and runs the slideshow with its button; the viewer shows the screen-sized pictures, offers
// no download, and no original is asked for.
"use strict";

const { until } = require("./browser.js");
const { GUEST, step } = require("./common.js");
const { moduleById, framesNow, actReloading, images, expectEqual } = require("./modules.js");
const { PICTURES, state } = require("./stories.js");

const SEARCH = 700;

const STEPS = [
  step("visitor-login", "The guest button logs in the guest account", (w) => w.logIn(GUEST, true)),

  step("visitor-viewer", "The guest opens the viewer: the screen-sized picture, no download, the slideshow button", async (w) => {
    const { heron, gull } = state(w).images;
    if (!(await w.openModule(moduleById(SEARCH)))) return false;
    const { menu } = await framesNow(w, ["menu"]);
    await menu.locator("form[name=Search] input[name=words]").fill("bird");
    await actReloading(w, () => menu.locator("#searchButton").click(), ["menu", "area"], "the search for bird");
    await images.openDetail(w, "area", heron);
    const context = w.page.context();
    const requested = [];
    const listen = (r) => requested.push(r.url());
    context.on("request", listen);
    try {
      const { area } = await framesNow(w, ["area"]);
      const [viewer] = await Promise.all([context.waitForEvent("page"),
        area.locator("img[src*='page=604&']").click()]);
      const shows = (id, name) => until(`the viewer showing ${name}`, async () => viewer.evaluate(() => {
        const img = document.getElementById("viewerImage");
        const caption = document.querySelector("span.viewerName");
        return img && img.complete && img.naturalWidth > 0 ?
          { src: img.currentSrc, name: caption ? caption.innerText : "", title: document.title,
            position: (document.querySelector("span.viewerPosition") || {}).innerText,
            download: !!document.getElementById("downloadButton") } : null;
      }).then((s) => (s && s.src.endsWith(`page=606&Image.id=${id}`) && s.name === name ? s : null))
        .catch(() => null));
      const first = await shows(heron, PICTURES.heron.name);
      if (first.download) throw new Error("the viewer offers the guest the original");
      if (!/^[12] \S+ 2$/.test(first.position)) throw new Error(`the position reads ${first.position}`);
      // The slideshow button starts the slideshow: the picture after the heron in the list
      // (or before it, once stepped back), then it stops on a second press.
      const heronFirst = await viewer.evaluate(() => !!document.body.getAttribute("data-next"));
      if (!heronFirst) {
        await viewer.locator("#previousButton").click();
        await shows(gull, PICTURES.gull.name);
      }
      await viewer.locator("#slideshowButton").click();
      const [nextId, nextName] = heronFirst ? [gull, PICTURES.gull.name] : [heron, PICTURES.heron.name];
      await shows(nextId, nextName);
      await until("the slideshow mark", async () => viewer.evaluate(() =>
        document.body.classList.contains("slideshow")));
      await viewer.locator("#slideshowButton").click();
      expectEqual("the slideshow after its button", await viewer.evaluate(() =>
        document.body.classList.contains("slideshow")), false);
      await viewer.screenshot({ path: require("node:path").join(w.server.dir, "viewer-guest.png") });
      const originals = requested.filter((url) => /[?&]page=602(&|$)/.test(url));
      if (originals.length) throw new Error(`originals were asked for: ${originals.join(", ")}`);
      await Promise.all([viewer.waitForEvent("close"), viewer.locator("#closeButton").click().catch(() => {})]);
    } finally {
      context.off("request", listen);
    }
  }, [SEARCH]),

  step("visitor-logout", "The guest logs out", (w) => w.logOut()),
];

module.exports = { STEPS };
