console.log("ruler");
