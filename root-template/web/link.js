// The viewer of a link for people without an account: the arrow keys and a swipe step to
// the previous and next picture, Space runs a slideshow, Esc goes back to the grid. The
// addresses come from the page's body; without this script the buttons do the same.
(function () {
  "use strict";
  var slideshowDelay = 4000;
  var swipeDistance = 50;

  // The management pages: each address becomes whole (the server does not know the name
  // under which the browser reaches it), and its button copies it.
  function addresses() {
    var fields = document.querySelectorAll("input.linkAddress");
    Array.prototype.forEach.call(fields, function (field) {
      if (field.value.charAt(0) === "/") field.value = location.origin + field.value;
      var button = field.nextElementSibling;
      if (!button || button.className !== "linkCopy") return;
      button.addEventListener("click", function () {
        field.select();
        if (navigator.clipboard && navigator.clipboard.writeText) {
          navigator.clipboard.writeText(field.value);
        } else {
          document.execCommand("copy");
        }
      });
    });
  }

  // The contributions: every chosen file is sent on its own, one after the other, with
  // its progress; then the grid tells the outcome of the last one. Without this script the
  // form sends the first file.
  function contributions() {
    var form = document.getElementById("linkUpload");
    var input = document.getElementById("linkFiles");
    var progress = document.getElementById("linkProgress");
    if (!form || !input || !window.FormData || !window.XMLHttpRequest) return;
    form.addEventListener("submit", function (event) {
      var files = input.files;
      if (!files || files.length === 0) return;
      event.preventDefault();
      var index = 0;
      var last = null;
      function next() {
        if (index >= files.length) {
          location.href = last || location.href;
          return;
        }
        var data = new FormData();
        data.append("file", files[index]);
        var request = new XMLHttpRequest();
        request.open("POST", form.action);
        request.upload.onprogress = function (e) {
          if (!e.lengthComputable) return;
          progress.textContent = (index + 1) + " / " + files.length + ": " +
              Math.round(100 * e.loaded / e.total) + "%";
        };
        request.onloadend = function () {
          last = request.responseURL || last;
          index++;
          next();
        };
        request.send(data);
      }
      next();
    });
  }

  function start() {
    addresses();
    contributions();
    var body = document.getElementById("linkViewer");
    if (!body) return;
    var previous = body.getAttribute("data-previous");
    var next = body.getAttribute("data-next");
    var grid = body.getAttribute("data-grid");
    var slideshow = /[?&]show=1(&|$)/.test(location.search);

    function go(address, keepShow) {
      if (!address) return;
      if (keepShow) address += (address.indexOf("?") < 0 ? "?" : "&") + "show=1";
      location.href = address;
    }
    function toggleSlideshow() {
      slideshow = !slideshow;
      if (slideshow) go(next, true);
    }

    document.addEventListener("keydown", function (event) {
      if (event.altKey || event.ctrlKey || event.metaKey) return;
      if (event.key === "ArrowLeft") go(previous, false);
      else if (event.key === "ArrowRight") go(next, false);
      else if (event.key === "Escape") go(grid, false);
      else if (event.key === " ") toggleSlideshow();
      else return;
      event.preventDefault();
    });

    var button = document.getElementById("linkSlideshow");
    if (button) button.addEventListener("click", toggleSlideshow);

    var startX = null;
    var startY = null;
    body.addEventListener("touchstart", function (event) {
      if (event.touches.length !== 1) { startX = null; return; }
      startX = event.touches[0].clientX;
      startY = event.touches[0].clientY;
    }, { passive: true });
    body.addEventListener("touchend", function (event) {
      if (startX === null || event.changedTouches.length !== 1) return;
      var dx = event.changedTouches[0].clientX - startX;
      var dy = event.changedTouches[0].clientY - startY;
      startX = null;
      if (Math.abs(dx) < swipeDistance || Math.abs(dx) < Math.abs(dy)) return;
      go(dx < 0 ? next : previous, false);
    });

    if (slideshow && next) setTimeout(function () { go(next, true); }, slideshowDelay);
  }

  if (document.readyState === "loading") document.addEventListener("DOMContentLoaded", start);
  else start();
})();
