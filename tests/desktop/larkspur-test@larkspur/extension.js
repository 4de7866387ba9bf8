// For the tests only: Eval and Screenshot answer any caller in unsafe mode,
// and the overview the shell starts in would cover the desktop.
const Main = imports.ui.main;

function init() {}

function enable() {
    global.context.unsafe_mode = true;
    // Banners (this unsafe mode, the screen lock that needs a display
    // manager) would cover the top bar.
    Main.messageTray.bannerBlocked = true;
    if (Main.layoutManager._startingUp)
        Main.layoutManager.connect('startup-complete', () => Main.overview.hide());
    else
        Main.overview.hide();
}

function disable() {
    Main.messageTray.bannerBlocked = false;
    global.context.unsafe_mode = false;
}
