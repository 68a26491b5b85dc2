// Focus Timer: counts down the current block.
browser.alarms.create("block", { delayInMinutes: 25 });
